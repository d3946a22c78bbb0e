#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoPanelView.h"
#include "kit/KanvoSymbols.h"

#include <QMouseEvent>
#include <QtTest>

namespace {

class PressCounter : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

QImage render(QWidget& widget) {
    return widget.grab().toImage();
}

} // namespace

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KanvoSymbols::installIconTheme(); }

    void frameConversion_data() {
        QTest::addColumn<QRectF>("yUp");
        QTest::addColumn<double>("parentHeight");
        QTest::addColumn<QRectF>("yDown");
        QTest::newRow("bottom-left-corner")
            << QRectF(0, 0, 100, 50) << 300.0 << QRectF(0, 250, 100, 50);
        QTest::newRow("inset") << QRectF(10, 20, 100, 50) << 300.0 << QRectF(10, 230, 100, 50);
        QTest::newRow("fills-parent") << QRectF(0, 0, 80, 300) << 300.0 << QRectF(0, 0, 80, 300);
        QTest::newRow("above-parent") << QRectF(5, 310, 10, 10) << 300.0 << QRectF(5, -20, 10, 10);
    }
    void frameConversion() {
        QFETCH(QRectF, yUp);
        QFETCH(double, parentHeight);
        QFETCH(QRectF, yDown);
        QCOMPARE(KanvoFrame::toQt(yUp, parentHeight), yDown);
        QCOMPARE(KanvoFrame::toQt(yDown, parentHeight), yUp);
    }

    void pointConversionRoundTrips() {
        QCOMPARE(KanvoFrame::fromQt(QPointF(30, 10), 200), QPointF(30, 190));
        QCOMPARE(KanvoFrame::toQt(KanvoFrame::fromQt(QPointF(30, 10), 200), 200), QPointF(30, 10));
    }

    void placeUsesParentHeight() {
        QWidget parent;
        parent.resize(400, 300);
        QWidget child(&parent);
        KanvoFrame::place(&child, QRectF(10, 20, 100, 50));
        QCOMPARE(child.geometry(), QRect(10, 230, 100, 50));
    }

    void panelHasOnePointBorderAroundFill() {
        QWidget parent;
        parent.resize(100, 100);
        KanvoPanelView panel(QRectF(0, 0, 60, 40), &parent);
        const QImage image = render(panel);
        const QRgb stroke = KanvoColors::panelStroke().rgb();
        const QRgb fill = KanvoColors::panelBackground().rgb();
        for (const QPoint corner : {QPoint(0, 0), QPoint(59, 0), QPoint(0, 39), QPoint(59, 39)}) {
            QCOMPARE(image.pixel(corner), stroke); // square corners: the border reaches them
        }
        QCOMPARE(image.pixel(30, 0), stroke);
        QCOMPARE(image.pixel(30, 39), stroke);
        QCOMPARE(image.pixel(0, 20), stroke);
        QCOMPARE(image.pixel(59, 20), stroke);
        QCOMPARE(image.pixel(1, 1), fill);
        QCOMPARE(image.pixel(58, 38), fill);
        QCOMPARE(image.pixel(30, 20), fill);
    }

    void panelPassesPressesToItsParent() {
        PressCounter parent;
        parent.resize(100, 100);
        KanvoPanelView panel(QRectF(0, 0, 60, 40), &parent);
        parent.show();
        QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(30, 20));
        QCOMPARE(parent.presses, 1);
    }

    void labelElidesAtTheRight() {
        const QString longText = QStringLiteral("A layer name far too long for its label");
        std::unique_ptr<QLabel> label(KanvoLabel::text(longText, 12, QFont::DemiBold));
        label->resize(90, 20);
        QCOMPARE(label->text(), longText);
        QCOMPARE(label->font().pixelSize(), 12);
        QCOMPARE(label->palette().color(QPalette::WindowText), KanvoColors::label());

        const QString elided = label->fontMetrics().elidedText(longText, Qt::ElideRight, 90);
        QVERIFY(elided.endsWith(QChar(0x2026)));
        std::unique_ptr<QLabel> expected(KanvoLabel::text(elided, 12, QFont::DemiBold));
        expected->resize(90, 20);
        QCOMPARE(render(*label), render(*expected));
    }

    void labelKeepsShortTextWhole() {
        std::unique_ptr<QLabel> label(
            KanvoLabel::text(QStringLiteral("Layers"), 12, QFont::Medium));
        label->resize(200, 20);
        QLabel plain(QStringLiteral("Layers"));
        plain.setFont(label->font());
        plain.setPalette(label->palette());
        plain.resize(200, 20);
        QCOMPARE(render(*label), render(plain));
    }

    void symbolLookup_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("table-entry") << "trash" << true;
        QTest::newRow("table-entry-fallback-symbol") << "square.grid.3x3" << true;
        QTest::newRow("theme-name-without-entry") << "document-open" << true;
        QTest::newRow("unknown-symbol") << "no.such.symbol" << false;
        QTest::newRow("empty-name") << "" << false;
    }
    void symbolLookup() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        const QIcon icon = KanvoSymbols::icon(name);
        QCOMPARE(!icon.isNull(), found);
        if (found) {
            // The SVG engine must actually draw it, not just find a file name.
            const QImage pixels = icon.pixmap(16, 16).toImage();
            bool inked = false;
            for (int y = 0; y < pixels.height() && !inked; ++y) {
                for (int x = 0; x < pixels.width() && !inked; ++x) {
                    inked = qAlpha(pixels.pixel(x, y)) > 0;
                }
            }
            QVERIFY(inked);
        }
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
