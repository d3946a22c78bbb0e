#include "kit/KanvoColors.h"

QColor KanvoColors::appBackground() {
    return white(0.84);
}
QColor KanvoColors::panelBackground() {
    return white(0.91);
}
QColor KanvoColors::panelStroke() {
    return white(0.72);
}
QColor KanvoColors::canvasBackground() {
    return white(0.78);
}
QColor KanvoColors::accent() {
    return QColor::fromRgbF(0.08f, 0.39f, 0.94f, 1.0f);
}
QColor KanvoColors::label() {
    return white(0.13);
}
QColor KanvoColors::muted() {
    return white(0.42);
}
QColor KanvoColors::white(double level, double alpha) {
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}
