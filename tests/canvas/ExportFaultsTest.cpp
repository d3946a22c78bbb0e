// Export through the canvas onto a disk that fails: a missing folder, a
// folder in the way, a full and a read-only file system (small tmpfs mounts
// in a mount namespace of this process's own, so root is needed; skipped
// with a message elsewhere), and a file size limit. Each export must fail,
// keep an existing file byte for byte and leave nothing half-written.
#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"

#include <QRandomGenerator>
#include <QtTest>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

enum class Disk { MissingFolder, FolderInTheWay, Full, ReadOnly, FileSizeLimit };

// A small file system of its own at `path`, gone again with the object.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& path) : path_(QFile::encodeName(path)) {
        mounted_ = mount("tmpfs", path_.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                         "size=128k,nr_inodes=64") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            umount2(path_.constData(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() const {
        return mount(nullptr, path_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Writes filler until the file system refuses more.
    bool fill(const QString& filler) const {
        QFile file(filler);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            return false;
        }
        const QByteArray block(4096, 'f');
        while (file.write(block) == block.size()) {
        }
        return true;
    }

private:
    QByteArray path_;
    bool mounted_ = false;
};

// While it lasts no file may grow past 16 KiB; writing further fails with
// EFBIG instead of raising SIGXFSZ. Works without root.
class FileSizeLimit {
public:
    FileSizeLimit() {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limit{16 << 10, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ExportFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Mounts made from here on stay inside this process.
        canMount_ = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        // Noise does not compress: the PNG export is far larger than 128 KiB.
        QImage picture(320, 240, QImage::Format_RGB32);
        QRandomGenerator noise(17);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                picture.setPixel(x, y, noise.generate() | 0xFF000000);
            }
        }
        QVERIFY(picture.save(dir_.filePath("picture.png")));
        view_.setSession(&session_);
        QVERIFY(view_.openImageURL(QUrl::fromLocalFile(dir_.filePath("picture.png"))));
        QTRY_VERIFY(!view_.image().isNull() && !view_.showsPreview());
    }

    void failedExportKeepsTheFileAndLeavesNothingBehind_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("missing folder") << int(Disk::MissingFolder);
        QTest::newRow("a folder in the way") << int(Disk::FolderInTheWay);
        QTest::newRow("full file system") << int(Disk::Full);
        QTest::newRow("read-only file system") << int(Disk::ReadOnly);
        QTest::newRow("file size limit") << int(Disk::FileSizeLimit);
    }
    void failedExportKeepsTheFileAndLeavesNothingBehind() {
        QFETCH(int, fault);
        const auto disk = Disk(fault);
        const QString folder = dir_.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(folder));
        std::optional<SmallFileSystem> mounted;
        if (disk == Disk::Full || disk == Disk::ReadOnly) {
            if (!canMount_ || !mounted.emplace(folder).mounted()) {
                QSKIP("not checked here: mounting a small tmpfs needs root (CAP_SYS_ADMIN)");
            }
        }
        QString target = folder + "/out.png";
        const QByteArray existing = "an earlier export, which must survive\n";
        if (disk == Disk::MissingFolder) {
            target = folder + "/missing/out.png";
        } else if (disk == Disk::FolderInTheWay) {
            QVERIFY(QDir().mkdir(target));
        } else {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existing) == existing.size());
        }
        if (disk == Disk::Full) {
            QVERIFY(mounted->fill(folder + "/filler"));
        } else if (disk == Disk::ReadOnly) {
            QVERIFY(mounted->makeReadOnly());
        }
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);

        std::optional<FileSizeLimit> limit;
        if (disk == Disk::FileSizeLimit) {
            limit.emplace();
        }
        QVERIFY(!view_.exportImageURL(QUrl::fromLocalFile(target)));
        limit.reset();
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), before);
        if (disk != Disk::MissingFolder && disk != Disk::FolderInTheWay) {
            QCOMPARE(contents(target), existing);
        }
    }

private:
    QTemporaryDir dir_;
    bool canMount_ = false;
    kanvo::ui::DocumentSession session_;
    KanvoCanvasView view_{QRectF(0, 0, 800, 600), nullptr};
};

QTEST_MAIN(ExportFaultsTest)
#include "ExportFaultsTest.moc"
