#pragma once

#include "imaging/KanvoBandDecoder.h"

#include <QImage>
#include <cstdint>
#include <cstring>

namespace kanvo::fuzz {

// The rows a reader by rows hands out, held against the whole decode's as
// they come.
struct RowsAgainst {
    const QImage& whole;
    bool agree = true;
    int seen = 0;

    void row(int y, const uchar* pixels) {
        agree = agree && !whole.isNull() && y == seen && y < whole.height() &&
                std::memcmp(whole.constScanLine(y), pixels, size_t(whole.width()) * 4) == 0;
        ++seen;
    }
};

// Traps unless `bands` agree with the whole decode: null only where the
// whole decode fails or `mayRefuse`; otherwise every row handed out, and two
// regions (from a point `place` picks to the corner, and the whole image),
// exactly the whole decode's.
inline void checkBands(const KanvoBandDecoder* bands, const RowsAgainst& rows, bool mayRefuse,
                       std::uint8_t place) {
    const QImage& whole = rows.whole;
    if (bands == nullptr) {
        if (!whole.isNull() && !mayRefuse) {
            __builtin_trap();
        }
        return;
    }
    if (whole.isNull() || !rows.agree || rows.seen != whole.height()) {
        __builtin_trap();
    }
    const int x = place % whole.width();
    const int y = (place * 7) % whole.height();
    const QRect area(x, y, whole.width() - x, whole.height() - y);
    for (const QRect& part : {area, QRect(0, 0, whole.width(), whole.height())}) {
        if (bands->region(part, 1) != whole.copy(part)) {
            __builtin_trap();
        }
    }
}

} // namespace kanvo::fuzz
