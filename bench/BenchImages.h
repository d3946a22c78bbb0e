#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Test images for the benchmarks, made here with photographic entropy
// (gradients under per-pixel noise) and kept in a folder between runs, so
// only the first run pays for encoding.
namespace BenchImages {

// KANVO_BENCH_SMOKE set: tiny sizes and one iteration, to prove the
// benchmarks still build and run.
bool smoke();
// The sizes measured: about 24 and 100 megapixels, or tiny under smoke.
QSize medium();
QSize large();

QImage photoLike(QSize size, bool alpha);
// A zone plate: concentric rings whose frequency rises to the Nyquist limit
// at the corners, the classic test of a resampler's aliasing.
QImage zonePlate(QSize size);

// The path of a JPEG (quality 90) or PNG (RGB or RGBA) of a photo-like
// image of `size`, written on first use.
QString jpeg(QSize size);
QString png(QSize size, bool alpha);

} // namespace BenchImages
