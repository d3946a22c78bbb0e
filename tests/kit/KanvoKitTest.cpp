#include "kit/KanvoLabel.h"
#include "kit/KanvoSymbols.h"

#include <QtTest>

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
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
    }

    // Found means drawn from the installed theme, not just a file located.
    void symbolsAreDrawnFromTheTheme() {
        KanvoSymbols::installIconTheme();
        auto inked = [](const QString& name) {
            const QImage alpha = KanvoSymbols::icon(name).pixmap(16, 16).toImage().convertToFormat(
                QImage::Format_Alpha8);
            return std::any_of(alpha.constBits(), alpha.constBits() + alpha.sizeInBytes(),
                               [](uchar a) { return a > 0; });
        };
        QVERIFY(inked("trash"));
        QVERIFY(inked("document-open")); // a theme name without a table entry
        QVERIFY(!inked("no.such.symbol"));
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
