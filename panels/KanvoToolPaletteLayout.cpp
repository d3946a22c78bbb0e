#include "panels/KanvoToolPaletteLayout.h"

#include <algorithm>
#include <array>

namespace {

// Positions before which a separator line splits the column into groups.
constexpr std::array<qsizetype, 5> kSeparatorPositions{2, 6, 13, 17, 20};

constexpr double kFirstButtonOffset = 86.0;
constexpr double kButtonStep = 31.0;
constexpr double kSeparatorStep = 9.0;

} // namespace

KanvoToolPaletteLayout layoutToolPalette(qsizetype toolCount, double paletteHeight) {
    KanvoToolPaletteLayout layout;
    double y = paletteHeight - kFirstButtonOffset;
    for (qsizetype i = 0; i < toolCount; ++i) {
        if (std::ranges::find(kSeparatorPositions, i) != kSeparatorPositions.end()) {
            layout.separators.append(QRectF(17, y + 7, 18, 1));
            y -= kSeparatorStep;
        }
        layout.buttons.append(QRectF(10, y, 32, 29));
        y -= kButtonStep;
    }
    return layout;
}
