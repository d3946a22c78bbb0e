// Time to first pixels, as a person sees them, on the X display in
// $DISPLAY: Xvfb with no window manager, started with -noreset so that it
// does not start over (and refuse connections) whenever the last program
// leaves. For each test image it times:
//   launch: from starting `kanvo FILE` to the image on screen, alternating
//     with the bare Qt viewer and feh (when given) on the same file;
//   open: from Return in Kanvo's Open dialog to the image on screen,
//     alternating with a bare QImageReader decode of the same file.
// kanvo_pixel_sampler does the watching; this program starts it and the
// programs, drives the dialog with xdotool and prints one line of medians
// for each measure.
#include "BenchImages.h"

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

struct Tools {
    QString sampler;
    QString kanvo;
    QString bareViewer;
    QString readerDecode;
    QString feh;
    int runs = 7;
};

// Failures are thrown, so that every program started is ended on the way out.
[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

QString runToEnd(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        fail(program + ' ' + arguments.join(' ') + QStringLiteral(" failed"));
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
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

// A viewer started on one file: where its image shows, found on a first
// run that also brings the file into the page cache, then timed runs.
struct Launch {
    QString name;
    QString program;
    QStringList arguments;
    QString area;
    std::vector<double> milliseconds;
};

QStringList samplerArguments(const QString& area, const QStringList& command) {
    QStringList arguments = colourArguments();
    if (!area.isEmpty()) {
        arguments << QStringLiteral("--area") << area;
    }
    return arguments + command;
}

void measureLaunches(const Tools& tools, const TestImage& image) {
    const QString& file = image.path;
    std::vector<Launch> launches{{"kanvo", tools.kanvo, {file}, {}, {}},
                                 {"bare", tools.bareViewer, {file}, {}, {}}};
    if (!tools.feh.isEmpty()) {
        // Fitted into a window of the canvas's size, like the bare viewer.
        launches.push_back(
            {"feh", tools.feh, {"--geometry", "1116x802", "--scale-down", file}, {}, {}});
    }
    for (Launch& launch : launches) {
        const QStringList command = QStringList{"--", launch.program} + launch.arguments;
        launch.area = sampledArea(runToEnd(tools.sampler, samplerArguments({}, command)));
    }
    for (int run = 0; run < tools.runs; ++run) {
        // Each round starts with the next program, so none always follows another.
        for (std::size_t i = 0; i < launches.size(); ++i) {
            Launch& launch = launches[(run + i) % launches.size()];
            const QStringList command = QStringList{"--", launch.program} + launch.arguments;
            const QString output = runToEnd(tools.sampler, samplerArguments(launch.area, command));
            std::fprintf(stderr, "launch %s %s: %s\n", qPrintable(image.name),
                         qPrintable(launch.name), qPrintable(output));
            launch.milliseconds.push_back(field(output, QStringLiteral("pixels_ms")));
        }
    }
    std::printf("pixels/launch/%s size=%dx%d", qPrintable(image.name), image.size.width(),
                image.size.height());
    for (const Launch& launch : launches) {
        std::printf(" %s_ms=%.1f", qPrintable(launch.name), median(launch.milliseconds));
    }
    std::printf(" runs=%d\n", tools.runs);
    std::fflush(stdout);
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

private:
    QProcess process_;
};

void measureOpens(const Tools& tools, const TestImage& image) {
    const QString& file = image.path;
    const QStringList press{QStringLiteral("--key"), QStringLiteral("Return")};
    QString area;
    {
        const KanvoAtOpenDialog kanvo(tools.kanvo, file);
        area = sampledArea(runToEnd(tools.sampler, samplerArguments({}, press)));
    }
    std::vector<double> kanvoMilliseconds;
    std::vector<double> readerMilliseconds;
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
    }
    std::printf("pixels/open/%s size=%dx%d kanvo_ms=%.1f reader_ms=%.1f runs=%d\n",
                qPrintable(image.name), image.size.width(), image.size.height(),
                median(kanvoMilliseconds), median(readerMilliseconds), tools.runs);
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
    tools.feh = takeOption(arguments, QStringLiteral("--feh"));
    const QString runs = takeOption(arguments, QStringLiteral("--runs"));
    tools.runs = runs.isEmpty() ? tools.runs : std::max(1, runs.toInt());
    if (arguments.size() != 4 || qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "usage: DISPLAY=:N kanvo_pixels_harness SAMPLER KANVO BARE_VIEWER "
                             "READER_DECODE [--feh FEH] [--runs N]\n");
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
    try {
        measureLaunches(tools, mediumJpeg);
        measureLaunches(tools, largeJpeg);
        measureLaunches(tools, mediumPng);
        measureOpens(tools, mediumJpeg);
        measureOpens(tools, mediumPng);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kanvo_pixels_harness: %s\n", error.what());
        return 1;
    }
    return 0;
}
