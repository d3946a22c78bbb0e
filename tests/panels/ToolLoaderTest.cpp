#include "panels/KanvoToolLoader.h"

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
        manifest.write("id=pen\xff\nlabel=Caf\xc3\xa9 \xc3(\n");
        manifest.close();

        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools(scratch.path());
        QCOMPARE(tools.size(), 1);
        QCOMPARE(tools[0].id, QStringLiteral("pen\uFFFD"));
        QCOMPARE(tools[0].label, QStringLiteral("Caf\u00e9 \uFFFD("));
    }
};

QTEST_GUILESS_MAIN(ToolLoaderTest)
#include "ToolLoaderTest.moc"
