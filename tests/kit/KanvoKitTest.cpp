#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoPanelView.h"
#include "kit/KanvoSymbols.h"

#include <QtTest>

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KanvoSymbols::installIconTheme(); }

    void frameIsFlippedInsideItsParent() {
        QCOMPARE(KanvoFrame::toQt(QRectF(10, 20, 100, 50), 300), QRectF(10, 230, 100, 50));
        QCOMPARE(KanvoFrame::toQt(QRectF(10, 230, 100, 50), 300), QRectF(10, 20, 100, 50));
        QCOMPARE(KanvoFrame::fromQt(QPointF(30, 10), 200), QPointF(30, 190));
        QWidget parent;
        parent.resize(400, 300);
        QWidget child(&parent);
        KanvoFrame::place(&child, QRectF(0, 0, 100, 50));
        QCOMPARE(child.geometry(), QRect(0, 250, 100, 50));
    }

    void panelHasOnePointBorderWithSquareCorners() {
        QWidget parent;
        parent.resize(100, 100);
        KanvoPanelView panel(QRectF(0, 0, 60, 40), &parent);
        const QImage image = panel.grab().toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(59, 39), QPoint(30, 0), QPoint(0, 20)}) {
            QCOMPARE(image.pixel(p), KanvoColors::panelStroke().rgb());
        }
        for (const QPoint p : {QPoint(1, 1), QPoint(58, 38), QPoint(30, 20)}) {
            QCOMPARE(image.pixel(p), KanvoColors::panelBackground().rgb());
        }
    }

    void labelEndsInEllipsisWhenTooLong() {
        const QString text = QStringLiteral("A layer name far too long for its label");
        std::unique_ptr<QLabel> label(KanvoLabel::text(text, 12, QFont::DemiBold));
        label->resize(90, 20);
        QCOMPARE(label->font().pixelSize(), 12);
        const QString elided = label->fontMetrics().elidedText(text, Qt::ElideRight, 90);
        QVERIFY(elided.endsWith(QChar(0x2026)));
        // Drawn exactly like a label that holds the shortened text.
        std::unique_ptr<QLabel> expected(KanvoLabel::text(elided, 12, QFont::DemiBold));
        expected->resize(90, 20);
        QCOMPARE(label->grab().toImage(), expected->grab().toImage());
        QCOMPARE(label->text(), text);
    }

    void symbolLookup_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("table-entry") << "trash" << true;
        QTest::newRow("fallback-symbol") << "square.grid.3x3" << true;
        QTest::newRow("theme-name-without-entry") << "document-open" << true;
        QTest::newRow("unknown-symbol-is-null") << "no.such.symbol" << false;
        QTest::newRow("empty-name-is-null") << "" << false;
    }
    void symbolLookup() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        const QIcon icon = KanvoSymbols::icon(name);
        QCOMPARE(!icon.isNull(), found);
        if (found) { // the SVG engine must draw it, not just find the file
            const QImage pixels = icon.pixmap(16, 16).toImage();
            bool inked = false;
            for (int i = 0; i < 256 && !inked; ++i) {
                inked = pixels.pixelColor(i % 16, i / 16).alpha() > 0;
            }
            QVERIFY(inked);
        }
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
