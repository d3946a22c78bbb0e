// Peak resident memory, each figure from a process of its own:
//   (no argument) opens eight large photos in turn through the decode
//     service, as the canvas does, and prints the peak beside the cache
//     budget: the budget plus 300 MB is the ceiling it must stay under;
//   --export opens the gigapixel JPEG (held in tiles) and exports it to a
//     JPEG, as the Export command does, and prints the peak and the time.
#include "BenchImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageCache.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageExport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// What the canvas is given for `path`: the latest image the service hands
// over (a preview first, then the full or tiled image).
KanvoImage opened(const QString& path) {
    KanvoImage shown;
    bool done = false;
    KanvoImageDecodeService::shared().decodeURL(QUrl::fromLocalFile(path),
                                                [&](const KanvoImage& image) {
                                                    shown = image;
                                                    done = true;
                                                });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return shown;
}

int openEight() {
    const QString photo = BenchImages::jpeg(BenchImages::large());
    const QTemporaryDir names;
    KanvoImage shown; // what the canvas holds: only the latest
    for (int i = 0; i < 8; ++i) {
        const QString path = names.filePath(QStringLiteral("photo-%1.jpg").arg(i));
        QFile::link(photo, path);
        shown = opened(path);
        if (shown.isNull()) {
            std::fprintf(stderr, "memory_bench: %s did not decode\n", qPrintable(path));
            return 1;
        }
    }
    const double budgetMB = KanvoAllocation::budgetBytes() / 1048576.0;
    std::printf("memory/8x100MP peak_rss_mb=%.0f budget_mb=%.0f ceiling_mb=%.0f margin_mb=%.0f\n",
                peakMegabytes(), budgetMB, budgetMB + 300, budgetMB + 300 - peakMegabytes());
    return 0;
}

int exportGigapixel() {
    const QSize size = BenchImages::gigapixel();
    const KanvoImage image = opened(BenchImages::streamedBandedJpeg(size));
    const QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();
    if (image.isNull() || !KanvoImageExport::write(image.fullImage(), folder.filePath("out.jpg"))) {
        std::fprintf(stderr, "memory_bench: the gigapixel JPEG did not export\n");
        return 1;
    }
    std::printf("memory/export-jpeg size=%dx%d export_ms=%lld export_peak_rss_mb=%.0f\n",
                size.width(), size.height(), static_cast<long long>(clock.elapsed()),
                peakMegabytes());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    return arguments.contains(QStringLiteral("--export")) ? exportGigapixel() : openEight();
}
