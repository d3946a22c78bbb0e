#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reads the server's base address from the bytes of the generation
// configuration: the text between the first and the last double quote of the
// first line that, trimmed of spaces and tabs, starts with "sd_url".
namespace KanvoSDURLLine {

// Nothing when the bytes are not UTF-8 or no line gives a value.
std::optional<QString> firstValue(const QByteArray& config);

} // namespace KanvoSDURLLine
