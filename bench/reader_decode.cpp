// The open-to-pixels baseline: how long a bare QImageReader takes to decode
// a file inside a running program. The first decode loads the plugin and
// its codec; the second, timed, is what an open costs once the program is
// up, and its median over runs is the figure. Also prints the process's
// peak resident memory, holding one decoded image.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <cstdio>
#include <sys/resource.h>

namespace {

QImage decode(const QString& path) {
    QImageReader reader(path);
    return reader.read();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kanvo_reader_decode IMAGE\n");
        return 2;
    }
    QImageReader::setAllocationLimit(1024);
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (decode(path).isNull()) {
        std::fprintf(stderr, "kanvo_reader_decode: cannot decode %s\n", argv[1]);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const QImage image = decode(path);
    const double milliseconds = clock.nsecsElapsed() / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("reader_ms=%.1f peak_rss_mb=%.0f width=%d height=%d\n", milliseconds,
                usage.ru_maxrss / 1024.0, image.width(), image.height());
    return 0;
}
