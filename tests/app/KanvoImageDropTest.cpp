#include "app/KanvoImageDrop.h"

#include "AppTestFiles.h"
#include "canvas/KanvoCanvasView.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoWorkspaceView.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

class KanvoImageDropTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    // Acceptance is whatever header inspection says, and inspection picks its
    // parser by the name's extension: a PNG named .txt is refused as surely as
    // text named .png.
    void dragIsJudgedByInspection_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("accepted");
        const auto file = [](const QString& path) {
            return QList<QUrl>{QUrl::fromLocalFile(path)};
        };
        const QString png = apptest::writePng(files_, "picture.png", {20, 10}, Qt::red);
        const QString pngAsTxt = apptest::writePng(files_, "picture.txt", {20, 10}, Qt::red);
        const QString text = apptest::writeText(files_, "notes.png", "just some words\n");
        QTest::newRow("png") << file(png) << true;
        QTest::newRow("png-named-txt") << file(pngAsTxt) << false;
        QTest::newRow("text-named-png") << file(text) << false;
        QTest::newRow("remote-url") << QList<QUrl>{QUrl("https://example.com/a.png")} << false;
        QTest::newRow("no-urls") << QList<QUrl>{} << false;
    }

    void dragIsJudgedByInspection() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, accepted);
        KanvoWorkspaceView workspace({0, 0, 1500, 920}, nullptr);
        KanvoCanvasView* canvas = workspace.canvas();
        new KanvoImageDrop(canvas);
        QVERIFY(canvas->acceptDrops());

        QMimeData data;
        if (urls.isEmpty()) {
            data.setText(QStringLiteral("not a file"));
        } else {
            data.setUrls(urls);
        }
        QCOMPARE(KanvoImageDrop::canRead(&data), accepted);

        const QPointF inside(200, 200);
        QDragEnterEvent enter(inside.toPoint(), Qt::CopyAction | Qt::MoveAction, &data,
                              Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (accepted) {
            QCOMPARE(enter.dropAction(), Qt::CopyAction);
        }
        QDragMoveEvent move(inside.toPoint() + QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data,
                            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        QCOMPARE(move.isAccepted(), accepted);

        QSignalSpy opened(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::documentSessionChanged);
        QDropEvent drop(inside, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(canvas, &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QCOMPARE(opened.count(), accepted ? 1 : 0);
    }

private:
    QTemporaryDir files_;
};

QTEST_MAIN(KanvoImageDropTest)
#include "KanvoImageDropTest.moc"
