#include "kit/KanvoColors.h"

namespace {

QColor grey(double white, double alpha = 1.0) {
    return QColor::fromRgbF(float(white), float(white), float(white), float(alpha));
}

} // namespace

QColor KanvoColors::appBackground() {
    return grey(0.84);
}
QColor KanvoColors::panelBackground() {
    return grey(0.91);
}
QColor KanvoColors::panelStroke() {
    return grey(0.72);
}
QColor KanvoColors::canvasBackground() {
    return grey(0.78);
}
QColor KanvoColors::accent() {
    return QColor::fromRgbF(0.08f, 0.39f, 0.94f, 1.0f);
}
QColor KanvoColors::label() {
    return grey(0.13);
}
QColor KanvoColors::muted() {
    return grey(0.42);
}
