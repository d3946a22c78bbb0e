#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoToolButton.h"
#include "panels/KanvoToolPaletteLayout.h"
#include "panels/KanvoToolPaletteView.h"

#include <QLineEdit>
#include <QtTest>

namespace {

// The window: keys the canvas passes on end up here (without the modifier keys QTest presses).
class KeyRecorder : public QWidget {
public:
    QList<QKeyCombination> received;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!QList<int>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta}.contains(
                event->key())) {
            received.append(event->keyCombination());
        }
    }
};

const QList<KanvoToolRecord> kTools{
    {"move", "Move Tool", "arrow.up.and.down.and.arrow.left.and.right", "V"},
    {"crop", "Crop Tool", "crop", "c"},
    {"hand", "Hand Tool", "hand.raised", "H"},
    {"zoom", "Zoom Tool", "magnifyingglass", "Z"},
    {"brush", "Brush Tool", "no.such.symbol", "z"},
    {"wide", "Wide Tool", "", "QQ"},
    {"plain", "Plain Tool", "", ""},
};

// Palette, a real canvas holding the keyboard focus, and a text field, in one shown window.
struct PaletteWindow {
    explicit PaletteWindow(kanvo::ui::DocumentSession* session) {
        palette = new KanvoToolPaletteView(QRectF(0, 0, 54, 920), session, kTools, &window);
        canvas = new KanvoCanvasView(QRectF(54, 30, 600, 600), &window);
        canvas->setSession(session);
        field = new QLineEdit(&window);
        window.show();
        QApplication::setActiveWindow(&window);
        canvas->setFocus();
    }

    QStringList highlighted() const {
        QStringList ids;
        for (KanvoToolButton* b : palette->buttons()) {
            if (b->isSelectedTool()) {
                ids << b->toolId();
            }
        }
        return ids;
    }

    KeyRecorder window;
    KanvoToolPaletteView* palette;
    KanvoCanvasView* canvas;
    QLineEdit* field;
};

} // namespace

class ToolPaletteTest : public QObject {
    Q_OBJECT
private slots:
    void layoutForTwentyFourTools() {
        QList<QRectF> buttons, separators;
        for (double y : {834, 803, 763, 732, 701, 670, 630, 599, 568, 537, 506, 475,
                         444, 404, 373, 342, 311, 271, 240, 209, 169, 138, 107, 76}) {
            buttons << QRectF(10, y, 32, 29);
        }
        for (double y : {779, 646, 420, 287, 185}) {
            separators << QRectF(17, y, 18, 1);
        }
        const KanvoToolPaletteLayout layout = layoutToolPalette(24, 920);
        QCOMPARE(layout.buttons, buttons);
        QCOMPARE(layout.separators, separators);
        // Three tools: the widget places them y-down, with the one separator before the third.
        QWidget parent;
        parent.resize(54, 920);
        KanvoToolPaletteView palette(QRectF(0, 0, 54, 920), nullptr, kTools.first(3), &parent);
        QCOMPARE(palette.buttons()[2]->geometry(), QRect(10, 920 - 763 - 29, 32, 29));
        QCOMPARE(palette.findChildren<QFrame*>().size(), 1);
        QCOMPARE(palette.buttons()[1]->toolTip(), QStringLiteral("Crop Tool (c)"));
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("tool"); // empty: the key is passed on and nothing changes
        QTest::newRow("lower-case-key") << int(Qt::Key_H) << "h" << 0 << "hand";
        QTest::newRow("upper-case-key") << int(Qt::Key_H) << "H" << 0 << "hand";
        QTest::newRow("lower-case-shortcut") << int(Qt::Key_C) << "C" << 0 << "crop";
        QTest::newRow("shift-allowed") << int(Qt::Key_H) << "H" << int(Qt::ShiftModifier) << "hand";
        QTest::newRow("duplicate-first-wins") << int(Qt::Key_Z) << "z" << 0 << "zoom";
        QTest::newRow("control-refused") << int(Qt::Key_H) << "h" << int(Qt::ControlModifier) << "";
        QTest::newRow("alt-refused") << int(Qt::Key_H) << "h" << int(Qt::AltModifier) << "";
        QTest::newRow("meta-refused") << int(Qt::Key_H) << "h" << int(Qt::MetaModifier) << "";
        QTest::newRow("two-character-shortcut") << int(Qt::Key_Q) << "q" << 0 << "";
        QTest::newRow("no-text-vs-empty-shortcut") << int(Qt::Key_Left) << "" << 0 << "";
    }

    void keys() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QFETCH(QString, tool);
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::toolSelectionChanged);

        const auto mods = Qt::KeyboardModifiers(modifiers);
        QTest::sendKeyEvent(QTest::Click, w.canvas, Qt::Key(key), text, mods);

        const bool matches = !tool.isEmpty();
        QCOMPARE(session.selectedToolId(), matches ? tool.toStdString() : "move");
        QCOMPARE(w.highlighted(), QStringList{matches ? tool : "move"});
        QCOMPARE(posted.size(), matches ? 1 : 0);
        const QList<QKeyCombination> passedOn{QKeyCombination(mods, Qt::Key(key))};
        QCOMPARE(w.window.received, matches ? QList<QKeyCombination>{} : passedOn);
    }

    // A read-only field passes the letters up to its parents; they must not act on them either.
    void lettersTypedIntoTextFieldsStayThere() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        w.field->setFocus();
        QTest::keyClicks(w.field, "hz");
        w.field->setReadOnly(true);
        QTest::keyClick(w.field, 'h');
        QCOMPARE(w.field->text(), QStringLiteral("hz"));
        QCOMPARE(session.selectedToolId(), "move");
    }

    void clicks() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        PaletteWindow detached(nullptr);
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::toolSelectionChanged);

        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QCOMPARE(session.selectedToolId(), "crop");
        QCOMPARE(w.highlighted(), QStringList{"crop"});
        QCOMPARE(posted.size(), 2);
        QVERIFY2(w.window.focusWidget() == w.canvas, "a tool click leaves the focus on the canvas");

        QTest::mouseClick(detached.palette->buttons()[2], Qt::LeftButton);
        QCOMPARE(detached.highlighted(), QStringList{});
        QCOMPARE(posted.size(), 2);
    }
};

QTEST_MAIN(ToolPaletteTest)
#include "ToolPaletteTest.moc"
