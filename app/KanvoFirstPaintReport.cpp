#include "app/KanvoFirstPaintReport.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class FirstPaintFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so it runs after the children have painted and the
            // window has been flushed in the same pass.
            QTimer::singleShot(0, [] {
                std::puts("first paint");
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return false;
    }
};

} // namespace

void KanvoFirstPaintReport::install(QWidget* window) {
    window->installEventFilter(new FirstPaintFilter(window));
}
