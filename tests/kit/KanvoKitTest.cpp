#include "kit/KanvoColors.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoPanelView.h"
#include "kit/KanvoSymbols.h"

#include <QtTest>

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KanvoSymbols::installIconTheme(); }

    void panelHasOnePointBorderWithSquareCorners() {
        const QImage image = KanvoPanelView(QRectF(0, 0, 60, 40), nullptr).grab().toImage();
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
        QTest::newRow("theme-name-without-entry") << "document-open" << true;
        QTest::newRow("unknown-symbol-is-null") << "no.such.symbol" << false;
    }
    void symbolLookup() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        // Found means drawn by the SVG engine, not just a file located.
        const QImage alpha = KanvoSymbols::icon(name).pixmap(16, 16).toImage().convertToFormat(
            QImage::Format_Alpha8);
        const uchar* bits = alpha.constBits();
        QCOMPARE(std::any_of(bits, bits + alpha.sizeInBytes(), [](uchar a) { return a > 0; }),
                 found);
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
