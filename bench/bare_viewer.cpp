// The launch-to-pixels baseline: the plainest Qt viewer of one file. It
// decodes the file named on its command line with QImageReader, then shows
// it fitted as Kanvo's canvas fits an image, in a window of the canvas's
// size.
#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QWidget>
#include <cstdio>

namespace {

class FittedImage : public QWidget {
public:
    explicit FittedImage(QImage image) : image_(std::move(image)) { resize(1116, 802); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        // The canvas keeps 80 px left and right and 72 px above and below.
        const QRectF room = QRectF(rect()).adjusted(80, 72, -80, -72);
        const QSizeF fitted = QSizeF(image_.size()).scaled(room.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(), fitted);
        target.moveCenter(room.center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
    }

private:
    QImage image_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kanvo_bare_viewer IMAGE\n");
        return 2;
    }
    // A viewer of large photos must lift Qt's 128 MB default.
    QImageReader::setAllocationLimit(1024);
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "kanvo_bare_viewer: %s\n", qPrintable(reader.errorString()));
        return 1;
    }
    FittedImage window(std::move(image));
    window.show();
    return QApplication::exec();
}
