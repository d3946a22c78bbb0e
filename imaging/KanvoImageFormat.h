#pragma once

#include <QtGlobal>
#include <span>

// What an image file is, told by its first bytes alone: the one place that
// decides which decoder reads a file. A file's name never does; header
// inspection has already accepted it by name before any decoder runs.
enum class KanvoImageFormat { Unknown, Png, Jpeg, Ppm };

KanvoImageFormat detectImageFormat(std::span<const uchar> bytes);
