#include "kit/KanvoGlyphCache.h"
#include "kit/KanvoGlyphFile.h"
#include "kit/KanvoStyle.h"
#include "kit/KanvoSymbols.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage drawn(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage();
}

bool inked(const QImage& image) {
    QImage blank = image;
    blank.fill(Qt::transparent);
    return !image.isNull() && image != blank;
}

// What a window asks of the cache: two tints of one symbol, a missing symbol, the window icon.
QList<QImage> windowGlyphs(KanvoGlyphCache& cache) {
    return {drawn(cache.tinted("trash", Qt::red, {18, 18}), 18),
            drawn(cache.tinted("trash", Qt::white, {18, 18}), 18),
            drawn(cache.tinted("no.such.symbol", Qt::red, {18, 18}), 18),
            drawn(cache.windowIcon(KANVO_ICON_FILE), 64)};
}

} // namespace

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
    void init() { KanvoSymbols::installIconTheme(); }

    // Drawn from the installed theme, not just located: a mapped symbol, a theme name, neither.
    void symbolsAreDrawnFromTheTheme() {
        QStringList found;
        for (const char* name : {"trash", "document-open", "no.such.symbol"}) {
            found << (inked(drawn(KanvoSymbols::icon(name), 16)) ? name : "-");
        }
        QCOMPARE(found, QStringList({"trash", "document-open", "-"}));
        // The style's overflow arrow is found only when drawn, and found then.
        KanvoStyle style;
        QVERIFY(inked(drawn(style.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton), 16)));
    }

    // The file gives back exactly what was written, and nothing from bytes that are not all of it.
    void glyphFileKeepsItsGlyphsOrNothing() {
        KanvoGlyphFile file{"Qt 6 and a theme", {}};
        file.glyphs.insert("a", {2, 1, QByteArray(8, '\x7f')});
        file.glyphs.insert("missing", {});
        const QByteArray bytes = file.encoded();
        QCOMPARE(KanvoGlyphFile::decoded(bytes), file);
        for (qsizetype length = 0; length < bytes.size(); ++length) {
            QVERIFY2(!KanvoGlyphFile::decoded(bytes.first(length)),
                     qPrintable(QString::number(length)));
        }
        QVERIFY(!KanvoGlyphFile::decoded(bytes + '\0'));
        file.glyphs["a"].pixels.chop(1);
        QVERIFY(!KanvoGlyphFile::decoded(file.encoded()));
    }

    // A second start draws nothing: the glyphs come from the file even with the theme gone, equal
    // to those drawn. Another identity, or a damaged file, has them drawn afresh.
    void glyphCacheDrawsOnlyWhatItHasNotKept() {
        QTemporaryDir folder;
        const QString path = folder.filePath("cache/glyphs");
        KanvoGlyphCache first(path, "build 1");
        const QList<QImage> fresh = windowGlyphs(first);
        QVERIFY(inked(fresh[0]) && inked(fresh[1]) && inked(fresh[3]));
        QVERIFY(fresh[2].isNull());
        first.save();

        QIcon::setThemeName("no-such-theme");
        KanvoGlyphCache second(path, "build 1");
        QCOMPARE(windowGlyphs(second), fresh);
        KanvoGlyphCache rebuilt(path, "build 2");
        QVERIFY(rebuilt.tinted("trash", Qt::red, {18, 18}).isNull());

        KanvoSymbols::installIconTheme();
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QVERIFY(damaged.resize(damaged.size() - 1));
        damaged.close();
        KanvoGlyphCache third(path, "build 1");
        QCOMPARE(windowGlyphs(third), fresh);
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
