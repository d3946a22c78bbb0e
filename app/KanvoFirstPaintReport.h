#pragma once

class QWidget;

// For start-up benchmarks (KANVO_REPORT_FIRST_PAINT set): once the window's
// first paint has completed, prints "first paint" on stdout and ends when
// its standard input does.
namespace KanvoFirstPaintReport {

void install(QWidget* window);

} // namespace KanvoFirstPaintReport
