#include "panels/KanvoToolLoader.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

class ToolLoaderTest : public QObject {
    Q_OBJECT
private slots:
    void shippedToolsInPaletteOrder() {
        QStringList tools;
        for (const KanvoToolRecord& tool : KanvoToolLoader::loadTools()) {
            tools << tool.id + "=" + tool.shortcut;
        }
        QCOMPARE(tools, (QStringList{"move=V", "crop=C", "hand=H", "zoom=Z"}));
    }

    void unreadableFolderGivesNoToolsAndSaysWhy() {
        QTemporaryDir scratch;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no tools loaded from .*/missing"));
        QCOMPARE(KanvoToolLoader::loadTools(scratch.filePath("missing")).size(), 0);

        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(KanvoToolLoader::loadTools(scratch.path()).size(), 0);
    }

    void invalidUtf8BecomesReplacementCharacters() {
        QTemporaryDir scratch;
        QDir(scratch.path()).mkpath("a");
        QFile manifest(scratch.filePath("a/tool.txt"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write("id=pen\xff\nlabel=Caf\xc3\xa9 \xc3(\nicon=\x80\nshortcut=\xe2\x82\n");
        manifest.close();

        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools(scratch.path());
        QCOMPARE(tools.size(), 1);
        const QString bad(QChar::ReplacementCharacter);
        QCOMPARE(tools[0].id, "pen" + bad);
        QCOMPARE(tools[0].label, QStringLiteral("Caf\u00e9 ") + bad + "(");
        QCOMPARE(tools[0].icon, bad);
        QVERIFY(tools[0].shortcut.startsWith(bad));
    }
};

QTEST_GUILESS_MAIN(ToolLoaderTest)
#include "ToolLoaderTest.moc"
