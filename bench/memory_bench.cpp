// Opens eight large photos in turn through the decode service, as the canvas
// does, and prints the process's peak resident memory beside the cache
// budget: the budget plus 300 MB is the ceiling it must stay under.
#include "BenchImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageCache.h"
#include "imaging/KanvoImageDecodeService.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString photo = BenchImages::jpeg(BenchImages::large());
    const QTemporaryDir names;
    KanvoImage shown; // what the canvas holds: only the latest
    for (int i = 0; i < 8; ++i) {
        const QString path = names.filePath(QStringLiteral("photo-%1.jpg").arg(i));
        QFile::link(photo, path);
        bool done = false;
        KanvoImageDecodeService::shared().decodeURL(QUrl::fromLocalFile(path),
                                                    [&](const KanvoImage& image) {
                                                        shown = image;
                                                        done = true;
                                                    });
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (shown.isNull()) {
            std::fprintf(stderr, "memory_bench: %s did not decode\n", qPrintable(path));
            return 1;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMB = usage.ru_maxrss / 1024.0;
    const double budgetMB = KanvoAllocation::budgetBytes() / 1048576.0;
    std::printf("memory/8x100MP peak_rss_mb=%.0f budget_mb=%.0f ceiling_mb=%.0f margin_mb=%.0f\n",
                peakMB, budgetMB, budgetMB + 300, budgetMB + 300 - peakMB);
    return 0;
}
