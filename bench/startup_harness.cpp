// Times whole processes from start to the line they print after their first
// completed paint, alternating Kanvo with the minimal window so both see the
// same machine; prints each median, their ratio and each one's peak
// resident memory at that paint.
#include "ProcessMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct FirstPaint {
    double milliseconds;
    double peakMegabytes;
};

FirstPaint firstPaint(const QString& program) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KANVO_REPORT_FIRST_PAINT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    while (process.state() != QProcess::NotRunning && !process.canReadLine()) {
        process.waitForReadyRead(30000);
    }
    const double milliseconds = clock.nsecsElapsed() / 1e6;
    if (!process.readLine().contains("first paint")) {
        qFatal("%s printed no first paint", qPrintable(program));
    }
    // The program waits for its input to end, so its memory can be read.
    const FirstPaint paint{milliseconds, ProcessMemory::peakMegabytes(pid_t(process.processId()))};
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return paint;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: startup_harness KANVO MINIMAL_WINDOW [RUNS]\n");
        return 2;
    }
    const int runs = arguments.size() > 3 ? arguments[3].toInt() : 15;
    std::vector<double> kanvo;
    std::vector<double> minimal;
    std::vector<double> kanvoMegabytes;
    std::vector<double> minimalMegabytes;
    firstPaint(arguments[1]); // warms the file cache for both
    firstPaint(arguments[2]);
    for (int i = 0; i < runs; ++i) {
        const FirstPaint ofKanvo = firstPaint(arguments[1]);
        const FirstPaint ofMinimal = firstPaint(arguments[2]);
        kanvo.push_back(ofKanvo.milliseconds);
        kanvoMegabytes.push_back(ofKanvo.peakMegabytes);
        minimal.push_back(ofMinimal.milliseconds);
        minimalMegabytes.push_back(ofMinimal.peakMegabytes);
    }
    std::printf("startup/first-paint kanvo_ms=%.1f minimal_ms=%.1f ratio=%.2f kanvo_mb=%.0f "
                "minimal_mb=%.0f runs=%d\n",
                median(kanvo), median(minimal), median(kanvo) / median(minimal),
                median(kanvoMegabytes), median(minimalMegabytes), runs);
    return 0;
}
