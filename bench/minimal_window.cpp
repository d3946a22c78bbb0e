// The start-up baseline: a bare Qt Widgets window of Kanvo's size that says
// when its first paint is done and quits when its standard input ends, as
// Kanvo does under KANVO_REPORT_FIRST_PAINT.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class MinimalWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), palette().window());
        if (!reported_) {
            reported_ = true;
            QTimer::singleShot(0, [] {
                std::puts("first paint");
                std::fflush(stdout);
                while (std::getchar() != EOF) {
                }
                QApplication::quit();
            });
        }
    }

private:
    bool reported_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    MinimalWindow window;
    window.resize(1500, 939);
    window.show();
    return QApplication::exec();
}
