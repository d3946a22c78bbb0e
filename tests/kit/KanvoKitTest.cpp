#include "kit/KanvoSymbols.h"

#include <QtTest>

class KanvoKitTest : public QObject {
    Q_OBJECT
private slots:
    // Drawn from the installed theme, not just located: a mapped symbol, a theme name, neither.
    void symbolsAreDrawnFromTheTheme() {
        KanvoSymbols::installIconTheme();
        QStringList inked;
        for (const char* name : {"trash", "document-open", "no.such.symbol"}) {
            const QImage image = KanvoSymbols::icon(name).pixmap(16, 16).toImage();
            QImage blank = image;
            blank.fill(Qt::transparent);
            inked << (image != blank ? name : "-");
        }
        QCOMPARE(inked, QStringList({"trash", "document-open", "-"}));
    }
};

QTEST_MAIN(KanvoKitTest)
#include "KanvoKitTest.moc"
