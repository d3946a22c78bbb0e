// Time to first pixels, as a person sees them, on the X display in
// $DISPLAY: Xvfb with no window manager, started with -noreset so that it
// does not start over (and refuse connections) whenever the last program
// leaves. For each test image it times:
//   launch: from starting `kanvo FILE` to the image on screen, alternating
//     with the bare Qt viewer and the other viewers given (--peer) on the
//     same file, and each one's peak resident memory a few seconds after;
//     for the 24 MP JPEG also Kanvo and the fastest of them on one core;
//     for the images too large to hold decoded (400 MP JPEG and PNG, a
//     gigapixel JPEG) without the bare viewer, naming the viewers that
//     cannot show them;
//   open: from Return in Kanvo's Open dialog to the image on screen,
//     alternating with a bare QImageReader decode of the same file, and
//     the peak resident memory of both.
// kanvo_pixel_sampler does the watching; this program starts it and the
// programs, drives the dialog with xdotool and prints one line of medians
// for each measure.
#include "BenchImages.h"
#include "ProcessMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

// Another viewer: its name, and its program, or none when not installed.
struct Peer {
    QString name;
    QString program;
};

struct Tools {
    QString sampler;
    QString kanvo;
    QString bareViewer;
    QString readerDecode;
    std::vector<Peer> peers;
    int runs = 7;
    int hugeRuns = 3; // for the images too large to hold decoded
};

// Peak resident memory is read this long after the pixels show: what a
// viewer holds once it has settled, including what it frees after its
// first paint. Shorter at the smoke test's tiny sizes.
int memoryAfterMilliseconds() {
    return BenchImages::smoke() ? 300 : 4000;
}

// A viewer's arguments to show `file`: fitted into a window of the
// canvas's size where the viewer takes a size, else as it starts itself.
QStringList peerArguments(const QString& name, const QString& file) {
    if (name == QLatin1String("feh")) {
        return {"--geometry", "1116x802", "--scale-down", file};
    }
    if (name == QLatin1String("nsxiv")) {
        return {"-g", "1116x802", file};
    }
    return {file};
}

// Failures are thrown, so that every program started is ended on the way out.
[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

// Whether `program` ran to a clean end; its output in `output`.
bool succeeds(const QString& program, const QStringList& arguments, QString& output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool clean = process.waitForFinished(180000) &&
                       process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return clean;
}

QString runToEnd(const QString& program, const QStringList& arguments) {
    QString output;
    if (!succeeds(program, arguments, output)) {
        fail(program + ' ' + arguments.join(' ') + QStringLiteral(" failed"));
    }
    return output;
}

double field(const QString& output, const QString& name) {
    const QRegularExpressionMatch match =
        QRegularExpression(name + QStringLiteral("=([\\d.]+)")).match(output);
    if (!match.hasMatch()) {
        fail(QStringLiteral("no %1 in \"%2\"").arg(name, output));
    }
    return match.captured(1).toDouble();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A test image: its format and size class name the measure ("jpeg/medium"),
// its size in pixels is printed beside the figures.
struct TestImage {
    QString name;
    QSize size;
    QString path;
};

QStringList colourArguments() {
    return {QStringLiteral("--colour"),
            QStringLiteral("%1").arg(BenchImages::bandColour() & 0xFFFFFF, 6, 16, QChar('0'))};
}

// The sampled rows keep a tenth of the band's width away from each side,
// where frames, labels and edge filtering may differ from the colour.
QString sampledArea(const QString& locateOutput) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("area=(\\d+),(\\d+),(\\d+),(\\d+)")).match(locateOutput);
    if (!match.hasMatch()) {
        fail(QStringLiteral("no area in \"%1\"").arg(locateOutput));
    }
    const int x = match.captured(1).toInt();
    const int width = match.captured(3).toInt();
    return QStringLiteral("%1,%2,%3,%4")
        .arg(x + width / 10)
        .arg(match.captured(2))
        .arg(width - width / 5)
        .arg(match.captured(4));
}

// A viewer started on one file: where its image shows and its peak
// resident memory, found on a first run that also brings the file into the
// page cache, then timed runs.
struct Launch {
    QString name;
    QString program;
    QStringList arguments;
    QString area;
    double peakMegabytes = 0;
    std::vector<double> milliseconds;
};

QStringList samplerArguments(const QString& area, const QStringList& command) {
    QStringList arguments = colourArguments();
    if (!area.isEmpty()) {
        arguments << QStringLiteral("--area") << area;
    }
    return arguments + command;
}

// Timed runs in rounds, each round starting with the next program so that
// none always follows another; `wrapper` starts each program (taskset).
void timeLaunches(const Tools& tools, const TestImage& image, const std::vector<Launch*>& launches,
                  const QStringList& wrapper) {
    for (int run = 0; run < tools.runs; ++run) {
        for (std::size_t i = 0; i < launches.size(); ++i) {
            Launch& launch = *launches[(run + i) % launches.size()];
            const QStringList command =
                QStringList{"--"} + wrapper + QStringList{launch.program} + launch.arguments;
            const QString output = runToEnd(tools.sampler, samplerArguments(launch.area, command));
            std::fprintf(stderr, "launch %s%s %s: %s\n", qPrintable(image.name),
                         wrapper.isEmpty() ? "" : " (one core)", qPrintable(launch.name),
                         qPrintable(output));
            launch.milliseconds.push_back(field(output, QStringLiteral("pixels_ms")));
        }
    }
}

// How an image's launches are measured: the 24 MP JPEG also on one core,
// and beside the bare Qt viewer but for the images too large to hold
// decoded, which it cannot show; those have fewer runs, as the other
// viewers take up to half a minute each.
struct LaunchPlan {
    bool oneCore = false;
    bool bare = true;
    bool huge = false;
};

void measureLaunches(Tools tools, const TestImage& image, LaunchPlan plan) {
    const QString& file = image.path;
    std::vector<Launch> launches{{"kanvo", tools.kanvo, {file}, {}, 0, {}}};
    if (plan.bare) {
        launches.push_back({"bare", tools.bareViewer, {file}, {}, 0, {}});
    }
    if (plan.huge) {
        tools.runs = tools.hugeRuns;
    }
    QStringList missing;
    for (const Peer& peer : tools.peers) {
        if (peer.program.isEmpty()) {
            missing << peer.name;
        } else {
            launches.push_back(
                {peer.name, peer.program, peerArguments(peer.name, file), {}, 0, {}});
        }
    }
    // Another viewer that cannot show the image (it ends, or shows nothing
    // within the sampler's minute) is left out of the timed runs and named.
    QStringList failing;
    std::vector<Launch*> all;
    for (Launch& launch : launches) {
        const QStringList command = QStringList{"--memory-after-ms"}
                                    << QString::number(memoryAfterMilliseconds()) << "--"
                                    << launch.program << launch.arguments;
        QString output;
        if (!succeeds(tools.sampler, samplerArguments({}, command), output)) {
            if (&launch == &launches.front()) {
                fail(QStringLiteral("Kanvo did not show %1").arg(file));
            }
            failing << launch.name;
            continue;
        }
        launch.area = sampledArea(output);
        launch.peakMegabytes = field(output, QStringLiteral("peak_rss_mb"));
        all.push_back(&launch);
    }
    timeLaunches(tools, image, all, {});
    std::printf("pixels/launch/%s size=%dx%d", qPrintable(image.name), image.size.width(),
                image.size.height());
    for (const Launch* launch : all) {
        std::printf(" %s_ms=%.1f %s_mb=%.0f", qPrintable(launch->name),
                    median(launch->milliseconds), qPrintable(launch->name), launch->peakMegabytes);
    }
    if (!missing.isEmpty()) {
        std::printf(" missing=%s", qPrintable(missing.join(',')));
    }
    if (!failing.isEmpty()) {
        std::printf(" failing=%s", qPrintable(failing.join(',')));
    }
    std::printf(" runs=%d\n", tools.runs);
    std::fflush(stdout);
    const auto firstPeer = all.begin() + (plan.bare ? 2 : 1);
    if (plan.oneCore && firstPeer < all.end()) {
        // Kanvo and the fastest other viewer again, each held to one core:
        // what a machine busy with other work leaves, and a start-up that
        // waits on a second thread shows at once.
        const Launch* fastest =
            *std::min_element(firstPeer, all.end(), [](const Launch* a, const Launch* b) {
                return median(a->milliseconds) < median(b->milliseconds);
            });
        Launch kanvo = launches.front();
        Launch peer = *fastest;
        kanvo.milliseconds.clear();
        peer.milliseconds.clear();
        timeLaunches(tools, image, {&kanvo, &peer}, {"taskset", "--cpu-list", "0"});
        std::printf("pixels/launch-one-core/%s size=%dx%d kanvo_ms=%.1f %s_ms=%.1f runs=%d\n",
                    qPrintable(image.name), image.size.width(), image.size.height(),
                    median(kanvo.milliseconds), qPrintable(peer.name), median(peer.milliseconds),
                    tools.runs);
        std::fflush(stdout);
    }
}

QString xdotool(const QStringList& arguments) {
    return runToEnd(QStringLiteral("xdotool"), arguments).section('\n', 0, 0);
}

QString visibleWindow(const QString& title) {
    return xdotool({"search", "--sync", "--onlyvisible", "--name", '^' + title + '$'});
}

// Kanvo started with no file, its Open dialog up and the path typed into
// the dialog's file-name field, waiting for Return.
class KanvoAtOpenDialog {
public:
    KanvoAtOpenDialog(const QString& kanvo, const QString& file) {
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(kanvo, {});
        const QString window = visibleWindow(QStringLiteral("Kanvo 2026"));
        // With no window manager nobody gives windows the focus.
        xdotool({"windowfocus", "--sync", window});
        xdotool({"key", "ctrl+o"});
        xdotool({"windowfocus", "--sync", visibleWindow(QStringLiteral("Open"))});
        xdotool({"type", "--delay", "10", file});
        // The dialog lists the folder and completes the name on the way;
        // Return is timed on a program that has finished that.
        QThread::msleep(300);
    }
    ~KanvoAtOpenDialog() {
        process_.terminate();
        process_.waitForFinished(30000);
    }
    double peakMegabytes() const {
        return ProcessMemory::peakMegabytes(pid_t(process_.processId()));
    }

private:
    QProcess process_;
};

void measureOpens(const Tools& tools, const TestImage& image) {
    const QString& file = image.path;
    const QStringList press{QStringLiteral("--key"), QStringLiteral("Return")};
    QString area;
    double kanvoMegabytes = 0;
    {
        const KanvoAtOpenDialog kanvo(tools.kanvo, file);
        area = sampledArea(runToEnd(tools.sampler, samplerArguments({}, press)));
        QThread::msleep(memoryAfterMilliseconds());
        kanvoMegabytes = kanvo.peakMegabytes();
    }
    std::vector<double> kanvoMilliseconds;
    std::vector<double> readerMilliseconds;
    double readerMegabytes = 0;
    for (int run = 0; run < tools.runs; ++run) {
        {
            const KanvoAtOpenDialog kanvo(tools.kanvo, file);
            const QString output = runToEnd(tools.sampler, samplerArguments(area, press));
            std::fprintf(stderr, "open %s kanvo: %s\n", qPrintable(image.name), qPrintable(output));
            kanvoMilliseconds.push_back(field(output, QStringLiteral("pixels_ms")));
        }
        const QString output = runToEnd(tools.readerDecode, {file});
        std::fprintf(stderr, "open %s reader: %s\n", qPrintable(image.name), qPrintable(output));
        readerMilliseconds.push_back(field(output, QStringLiteral("reader_ms")));
        readerMegabytes = field(output, QStringLiteral("peak_rss_mb"));
    }
    std::printf("pixels/open/%s size=%dx%d kanvo_ms=%.1f kanvo_mb=%.0f reader_ms=%.1f "
                "reader_mb=%.0f runs=%d\n",
                qPrintable(image.name), image.size.width(), image.size.height(),
                median(kanvoMilliseconds), kanvoMegabytes, median(readerMilliseconds),
                readerMegabytes, tools.runs);
    std::fflush(stdout);
}

// Removes "NAME VALUE" from the arguments and returns VALUE, or "" when absent.
QString takeOption(QStringList& arguments, const QString& name) {
    const qsizetype at = arguments.indexOf(name);
    if (at < 0 || at + 1 >= arguments.size()) {
        return {};
    }
    const QString value = arguments.takeAt(at + 1);
    arguments.removeAt(at);
    return value;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    Tools tools;
    for (QString peer; !(peer = takeOption(arguments, QStringLiteral("--peer"))).isEmpty();) {
        tools.peers.push_back({peer.section('=', 0, 0), peer.section('=', 1)});
    }
    const QString runs = takeOption(arguments, QStringLiteral("--runs"));
    tools.runs = runs.isEmpty() ? tools.runs : std::max(1, runs.toInt());
    const QString hugeRuns = takeOption(arguments, QStringLiteral("--huge-runs"));
    tools.hugeRuns = hugeRuns.isEmpty() ? tools.hugeRuns : std::max(1, hugeRuns.toInt());
    if (arguments.size() != 4 || qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "usage: DISPLAY=:N kanvo_pixels_harness SAMPLER KANVO BARE_VIEWER "
                             "READER_DECODE [--peer NAME=PROGRAM]... [--runs N] [--huge-runs N]\n"
                             "A peer given as NAME= is not installed: its rows say so.\n");
        return 2;
    }
    tools.sampler = arguments[0];
    tools.kanvo = arguments[1];
    tools.bareViewer = arguments[2];
    tools.readerDecode = arguments[3];
    // Qt's own file dialog, as on a desktop without a platform theme.
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_QPA_PLATFORMTHEME", "");
    qunsetenv("KANVO_REPORT_FIRST_PAINT");
    // The programs' own folder for run-time files, as a desktop session has.
    const QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }

    const QSize medium = BenchImages::medium();
    const QSize large = BenchImages::large();
    const TestImage mediumJpeg{"jpeg/medium", medium, BenchImages::bandedJpeg(medium)};
    const TestImage largeJpeg{"jpeg/large", large, BenchImages::bandedJpeg(large)};
    const TestImage mediumPng{"png/medium", medium, BenchImages::bandedPng(medium)};
    const QSize veryLarge = BenchImages::veryLarge();
    const QSize gigapixel = BenchImages::gigapixel();
    const TestImage veryLargeJpeg{"jpeg/400MP", veryLarge,
                                  BenchImages::streamedBandedJpeg(veryLarge)};
    const TestImage gigapixelJpeg{"jpeg/1GP", gigapixel,
                                  BenchImages::streamedBandedJpeg(gigapixel)};
    const TestImage veryLargePng{"png/400MP", veryLarge, BenchImages::streamedBandedPng(veryLarge)};
    try {
        measureLaunches(tools, mediumJpeg, {.oneCore = true});
        measureLaunches(tools, largeJpeg, {});
        measureLaunches(tools, mediumPng, {});
        measureOpens(tools, mediumJpeg);
        measureOpens(tools, mediumPng);
        for (const TestImage* huge : {&veryLargeJpeg, &gigapixelJpeg, &veryLargePng}) {
            measureLaunches(tools, *huge, {.bare = false, .huge = true});
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kanvo_pixels_harness: %s\n", error.what());
        return 1;
    }
    return 0;
}
