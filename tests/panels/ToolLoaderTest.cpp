#include "panels/KanvoToolLoader.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

void writeManifest(const QString& folder, const QString& tool, const QByteArray& bytes) {
    QDir(folder).mkpath(tool);
    QFile file(QDir(folder).filePath(tool + QStringLiteral("/tool.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList ids(const QList<KanvoToolRecord>& tools) {
    QStringList result;
    for (const KanvoToolRecord& tool : tools) {
        result << tool.id;
    }
    return result;
}

} // namespace

class ToolLoaderTest : public QObject {
    Q_OBJECT
private slots:
    void shippedToolsInPaletteOrder() {
        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools();
        QCOMPARE(ids(tools), (QStringList{"move", "crop", "hand", "zoom"}));
        QStringList shortcuts;
        for (const KanvoToolRecord& tool : tools) {
            shortcuts << tool.shortcut;
            QVERIFY(!tool.label.isEmpty());
            QVERIFY(!tool.icon.isEmpty());
        }
        QCOMPARE(shortcuts, (QStringList{"V", "C", "H", "Z"}));
    }

    void missingFolderGivesNoToolsAndSaysWhy() {
        QTemporaryDir scratch;
        const QString missing = scratch.filePath(QStringLiteral("no-tools-here"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("no tools loaded from .*no-tools-here"));
        QCOMPARE(KanvoToolLoader::loadTools(missing).size(), 0);
    }

    void emptyFolderGivesNoToolsQuietly() {
        QTemporaryDir scratch;
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(KanvoToolLoader::loadTools(scratch.path()).size(), 0);
    }

    void invalidUtf8BecomesReplacementCharacters() {
        QTemporaryDir scratch;
        writeManifest(scratch.path(), QStringLiteral("a"),
                      "id=pen\xff\nlabel=Caf\xc3\xa9 \xc3(\nicon=\x80\x80\nshortcut=\xe2\x82\n");
        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools(scratch.path());
        QCOMPARE(tools.size(), 1);
        const QChar replacement(QChar::ReplacementCharacter);
        QCOMPARE(tools[0].id, QStringLiteral("pen") + replacement);
        QVERIFY(tools[0].label.startsWith(QStringLiteral("Caf\u00e9 ")));
        QVERIFY(tools[0].label.contains(replacement));
        QVERIFY(tools[0].label.endsWith(QLatin1Char('(')));
        QVERIFY(!tools[0].icon.isEmpty());
        QVERIFY(tools[0].icon.count(replacement) == tools[0].icon.size());
        QVERIFY(tools[0].shortcut.contains(replacement));
    }
};

QTEST_GUILESS_MAIN(ToolLoaderTest)
#include "ToolLoaderTest.moc"
