#pragma once

#include <QByteArray>
#include <optional>

// Reads the generation server's progress answer, a JSON object whose
// "progress" member is the fraction done.
class KanvoProgressAnswer {
public:
    // The fraction: a number as it stands, a string as the number it begins
    // with (0 when none), a missing member as 0. Nothing when the body is not
    // a JSON object or "progress" is anything else (null, a boolean, an array
    // or an object).
    static std::optional<double> progress(const QByteArray& body);

    // The fraction as a whole percentage, truncated toward zero and not
    // clamped to 0..100.
    static int percent(double progress);
};
