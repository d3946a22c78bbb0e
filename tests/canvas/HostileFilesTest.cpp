// Hostile files through the canvas's real open path, as a drop or the Open
// dialog uses it: each must be refused at the header with the previous
// picture kept, end as "Could not decode image", or show at the document's
// size, within 2 s and 512 MB. What libpng and libjpeg-turbo decode, with or
// without a warning, is shown; what they refuse is not.
#include "HostileFiles.h"

#include "CorpusCases.h"
#include "DecodePoolBlocker.h"
#include "TestImages.h"
#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest>
#include <array>
#include <sys/stat.h>

namespace {

using kanvo::test::writeFile;

const QString couldNotDecode = QStringLiteral("Could not decode image");

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool sanitized = false;
#endif

// The bounds a hostile file must stay within. A sanitizer build runs our
// code several times slower and keeps freed memory in quarantine, so there
// the wait is a hang guard and the memory is not measured.
constexpr int settleLimitMs = sanitized ? 10000 : 2000;
constexpr qint64 memoryLimitBytes = qint64(512) << 20;

enum class Outcome { Refused, CouldNotDecode, Shown, StillOpening };

const char* nameOf(Outcome outcome) {
    return std::array{"refused", "could not decode", "shown", "still opening"}[int(outcome)];
}

struct Result {
    Outcome outcome = Outcome::StillOpening;
    bool keptPrevious = true; // a refused header changed nothing
    bool sizeMatches = true;  // what is shown has the document's size
    qint64 milliseconds = 0;
    qint64 peakBytes = 0; // resident memory above that at the start
};

// The process's peak resident memory since the last reset (Linux: writing 5
// to clear_refs resets VmHWM to the current resident size).
class PeakMemory {
public:
    static bool available() { return !sanitized && QFile::exists("/proc/self/clear_refs"); }
    void reset() {
        QFile clear("/proc/self/clear_refs");
        if (clear.open(QIODevice::WriteOnly)) {
            clear.write("5");
        }
        start_ = field("VmRSS:");
    }
    qint64 sinceReset() const { return field("VmHWM:") - start_; }

private:
    static qint64 field(const QByteArray& name) {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly)) {
            return 0;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(name)) {
                return line.mid(name.size()).trimmed().split(' ').first().toLongLong() * 1024;
            }
        }
        return 0;
    }
    qint64 start_ = 0;
};

// The canvas as the window has it, showing a picture before each open so
// that a refused header can be seen to keep it.
class OpenPath {
public:
    explicit OpenPath(QString picture) : picture_(std::move(picture)) {
        view_.setSession(&session_);
    }

    // Opens `path` and waits for the canvas to settle; `between` runs after
    // the header was read and before the decode starts.
    Result open(const QString& path, const std::function<void()>& between = {}) {
        if (view_.image().isNull() && view_.openImageURL(QUrl::fromLocalFile(picture_))) {
            waitUntilSettled();
        }
        const QImage previousImage = view_.image();
        const QString previousStatus = view_.statusText();
        const kanvo::ui::Document previousDocument = *session_.document();

        Result result;
        PeakMemory memory;
        memory.reset();
        QElapsedTimer elapsed;
        elapsed.start();
        bool opened = false;
        if (between) {
            const DecodePoolBlocker blocker;
            opened = view_.openImageURL(QUrl::fromLocalFile(path));
            between();
        } else {
            opened = view_.openImageURL(QUrl::fromLocalFile(path));
        }
        if (!opened) {
            result.outcome = Outcome::Refused;
            result.keptPrevious = view_.image().cacheKey() == previousImage.cacheKey() &&
                                  view_.statusText() == previousStatus &&
                                  *session_.document() == previousDocument;
        } else if (!waitUntilSettled()) {
            result.outcome = Outcome::StillOpening;
        } else if (view_.image().isNull()) {
            result.outcome = view_.statusText() == couldNotDecode ? Outcome::CouldNotDecode
                                                                  : Outcome::StillOpening;
        } else {
            result.outcome = Outcome::Shown;
            const kanvo::ui::Canvas& canvas = session_.document()->canvas;
            result.sizeMatches =
                view_.image().size() == QSize(int(canvas.width), int(canvas.height));
        }
        result.milliseconds = elapsed.elapsed();
        result.peakBytes = memory.sinceReset();
        // Drawing whatever came is part of showing it.
        (void)view_.grab();
        return result;
    }

private:
    bool waitUntilSettled() {
        return QTest::qWaitFor(
            [this] {
                return !view_.statusText().startsWith(QLatin1String("Opening")) &&
                       !view_.showsPreview();
            },
            settleLimitMs);
    }

    QString picture_;
    kanvo::ui::DocumentSession session_;
    KanvoCanvasView view_{QRectF(0, 0, 800, 600), nullptr};
};

// One line per failure, naming the file.
QString describe(const QString& file, const Result& r) {
    return QStringLiteral("%1: %2%3%4, %5 ms, %6 MB")
        .arg(file, nameOf(r.outcome), r.keptPrevious ? "" : " (lost the previous picture)",
             r.sizeMatches ? "" : " (not at the document's size)")
        .arg(r.milliseconds)
        .arg(r.peakBytes >> 20);
}

bool withinBounds(const Result& r) {
    return r.milliseconds <= settleLimitMs &&
           (!PeakMemory::available() || r.peakBytes <= memoryLimitBytes);
}

} // namespace

class HostileFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // libpng's complaints about the damaged files come by the hundred.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false"));
        QVERIFY(dir_.isValid());
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::magenta);
        QVERIFY(picture.save(dir_.filePath("picture.png")));
    }

    // Every file the reference decoders refuse or warn about.
    void corpusFilesEndAsTheReferenceDecodersSay() {
        const QList<CorpusCase> cases = CorpusCases::read(CorpusCases::corpusRoot());
        if (cases.isEmpty()) {
            QSKIP(qPrintable("the public corpora are not at " + CorpusCases::corpusRoot() +
                             " (see the project's README); skipping the hostile-file sweep"));
        }
        OpenPath open(dir_.filePath("picture.png"));
        QStringList failures;
        qint64 slowest = 0;
        qint64 largest = 0;
        int swept = 0;
        for (const CorpusCase& entry : cases) {
            const QString& verdict = entry.verdict;
            if (verdict != "fail" && verdict != "warn") {
                continue;
            }
            const Result r = open.open(entry.path);
            ++swept;
            slowest = std::max(slowest, r.milliseconds);
            largest = std::max(largest, r.peakBytes);
            const bool asThePolicySays =
                verdict == "fail"
                    ? r.outcome == Outcome::Refused || r.outcome == Outcome::CouldNotDecode
                    : r.outcome == Outcome::Refused ||
                          (r.outcome == Outcome::Shown && r.sizeMatches);
            if (!asThePolicySays || !r.keptPrevious || !withinBounds(r)) {
                failures << "(reference: " + verdict + ") " + describe(entry.relativePath, r);
                qWarning().noquote() << failures.constLast();
            }
        }
        qInfo().noquote() << QStringLiteral("%1 files, slowest %2 ms, largest peak %3 MB")
                                 .arg(swept)
                                 .arg(slowest)
                                 .arg(largest >> 20);
        QVERIFY2(failures.isEmpty(),
                 qPrintable(QStringLiteral("%1 files did not end as the policy says (each named "
                                           "above)")
                                .arg(failures.size())));
    }

    void madeFilesEndAsTheDesignSays_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        const auto row = [](const char* fault, const char* name, const QByteArray& bytes,
                            Outcome expected) {
            QTest::newRow(fault) << QString::fromUtf8(name) << bytes << int(expected);
        };
        const QByteArray valid = hostile::blackPng(40, 30);
        row("png claiming 2147483647 x 2147483647", "huge.png",
            hostile::pngClaiming(0x7FFFFFFF, 0x7FFFFFFF), Outcome::CouldNotDecode);
        row("png claiming 4294967295 x 4294967295", "huger.png",
            hostile::pngClaiming(0xFFFFFFFF, 0xFFFFFFFF), Outcome::CouldNotDecode);
        row("ppm claiming 2147483647 x 2147483647", "huge.ppm",
            "P6\n2147483647 2147483647\n255\n" + QByteArray(64, '\x7F'), Outcome::CouldNotDecode);
        row("jpeg claiming 65535 x 65535", "huge.jpg", hostile::truncatedJpeg(65535, 65535),
            Outcome::CouldNotDecode);
        row("png bomb: 1.6 GB decoded from 50 kB", "bomb.png", hostile::bilevelBomb(20000, 20000),
            Outcome::CouldNotDecode);
        row("png bomb within the decode limit: 64 MB from 3 kB", "small-bomb.png",
            hostile::bilevelBomb(4096, 4096), Outcome::Shown);
        row("truncated jpeg claiming 4096 x 4096", "grey.jpg", hostile::truncatedJpeg(4096, 4096),
            Outcome::Shown);
        // Within a 5462 MiB budget's 1 GiB of pixels, past the bomb
        // rule's 64 MB.
        row("png bomb: 1.07 GB decoded from 33 kB", "large-bomb.png",
            hostile::bilevelBomb(16384, 16384), Outcome::CouldNotDecode);
        row("truncated jpeg claiming 16384 x 16384", "large-grey.jpg",
            hostile::truncatedJpeg(16384, 16384), Outcome::CouldNotDecode);
        row("png zero width", "zero-width.png", hostile::pngClaiming(0, 30),
            Outcome::CouldNotDecode);
        row("jpeg zero height (lines defined later)", "zero-height.jpg",
            hostile::truncatedJpeg(40, 0), Outcome::CouldNotDecode);
        row("ppm zero width", "zero-width.ppm", "P6\n0 30\n255\n" + QByteArray(64, '\0'),
            Outcome::Refused);
        row("empty file", "empty.png", QByteArray(), Outcome::Refused);
        row("text named .png", "notes.png", "plain text, not a picture\n", Outcome::Refused);
        row("png whose image data is cut short", "cut.png", valid.left(valid.size() - 30),
            Outcome::CouldNotDecode);
        row("non-ASCII name", "\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE \xC3\xBC \xE5\x86\x99.png", valid,
            Outcome::Shown);
        row("name with % # ? and spaces", "100% #1 of 2? .png", valid, Outcome::Shown);
        row("name with a line break", "two\nlines.png", valid, Outcome::Shown);
    }
    void madeFilesEndAsTheDesignSays() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        const QString path = dir_.filePath(name);
        QVERIFY(writeFile(path, bytes));
        OpenPath open(dir_.filePath("picture.png"));
        const Result r = open.open(path);
        QVERIFY2(int(r.outcome) == expected && r.keptPrevious && r.sizeMatches && withinBounds(r),
                 qPrintable(describe(name, r)));
    }

    // Paths header inspection turns away (a FIFO, a directory and a loop of
    // links named .png, a missing file), none of which may block or throw
    // past the canvas.
    void pathsThatAreNoImageFileAreRefused() {
        const auto path = [this](const char* name) {
            return dir_.filePath(name);
        };
        QVERIFY(mkfifo(QFile::encodeName(path("fifo.png")).constData(), 0600) == 0);
        QVERIFY(QDir().mkdir(path("folder.png")));
        QVERIFY(QFile::link(path("loop.png"), path("loop.png")));
        OpenPath open(path("picture.png"));
        for (const char* name : {"fifo.png", "folder.png", "loop.png", "missing.png"}) {
            const Result r = open.open(path(name));
            QVERIFY2(r.outcome == Outcome::Refused && r.keptPrevious && withinBounds(r),
                     qPrintable(describe(name, r)));
        }
    }

    // The header is read at once; the decode follows on the pool. Whatever
    // the file became meanwhile, the open ends, and a picture is shown only
    // when the file still decodes.
    void fileChangedBetweenInspectionAndDecode_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("expected");
        QTest::newRow("deleted") << 0 << int(Outcome::CouldNotDecode);
        QTest::newRow("cut to its first 40 bytes") << 1 << int(Outcome::CouldNotDecode);
        QTest::newRow("replaced by a FIFO") << 2 << int(Outcome::CouldNotDecode);
        QTest::newRow("replaced by a bomb header") << 3 << int(Outcome::CouldNotDecode);
        QTest::newRow("replaced by a picture of another size") << 4 << int(Outcome::Shown);
    }
    void fileChangedBetweenInspectionAndDecode() {
        QFETCH(int, change);
        QFETCH(int, expected);
        const QString path = dir_.filePath(QStringLiteral("changing-%1.png").arg(change));
        QVERIFY(writeFile(path, hostile::blackPng(40, 30)));
        OpenPath open(dir_.filePath("picture.png"));
        const Result r = open.open(path, [&] {
            QFile::remove(path);
            const QByteArray valid = hostile::blackPng(40, 30);
            switch (change) {
            case 1:
                writeFile(path, valid.left(40));
                break;
            case 2:
                mkfifo(QFile::encodeName(path).constData(), 0600);
                break;
            case 3:
                writeFile(path, hostile::pngClaiming(20000, 20000));
                break;
            case 4:
                writeFile(path, hostile::blackPng(20, 10));
                break;
            }
        });
        QVERIFY2(int(r.outcome) == expected && withinBounds(r), qPrintable(describe(path, r)));
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(HostileFilesTest)
#include "HostileFilesTest.moc"
