#include "PanelTestImage.h"
#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoNotifications.h"
#include "kit/KanvoSymbols.h"
#include "panels/KanvoToolButton.h"
#include "panels/KanvoToolPaletteLayout.h"
#include "panels/KanvoToolPaletteView.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

// The top-level window: whatever key a child passes on ends up here. The modifier keys that
// QTest presses before a combination are left out.
class KeyRecorder : public QWidget {
public:
    QList<QKeyCombination> received;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        static const QList<int> modifierKeys{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt,
                                             Qt::Key_Meta};
        if (!modifierKeys.contains(event->key())) {
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

// A window as the application builds it: palette at the left, a real canvas that normally has
// the keyboard focus, and a text field.
struct PaletteWindow {
    explicit PaletteWindow(kanvo::ui::DocumentSession* session) {
        window.resize(800, 920);
        palette = new KanvoToolPaletteView(QRectF(0, 0, 54, 920), session, kTools, &window);
        canvas = new KanvoCanvasView(QRectF(54, 30, 600, 600), &window);
        canvas->setSession(session);
        field = new QLineEdit(&window);
        KanvoFrame::place(field, QRectF(60, 700, 200, 24));
        window.show();
        QApplication::setActiveWindow(&window);
        canvas->setFocus();
    }

    KanvoToolButton* button(const QString& id) const {
        for (KanvoToolButton* b : palette->buttons()) {
            if (b->toolId() == id) {
                return b;
            }
        }
        return nullptr;
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
    KanvoToolPaletteView* palette = nullptr;
    KanvoCanvasView* canvas = nullptr;
    QLineEdit* field = nullptr;
};

QSignalSpy toolSpy() {
    return QSignalSpy(KanvoNotifications::defaultCenter(),
                      &KanvoNotifications::toolSelectionChanged);
}

} // namespace

class ToolPaletteTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KanvoSymbols::installIconTheme(); }

    void layoutForTwentyFourTools() {
        const KanvoToolPaletteLayout layout = layoutToolPalette(24, 920);
        const QList<double> lowerEdges{834, 803, 763, 732, 701, 670, 630, 599, 568, 537, 506, 475,
                                       444, 404, 373, 342, 311, 271, 240, 209, 169, 138, 107, 76};
        QCOMPARE(layout.buttons.size(), lowerEdges.size());
        for (qsizetype i = 0; i < lowerEdges.size(); ++i) {
            QCOMPARE(layout.buttons[i], QRectF(10, lowerEdges[i], 32, 29));
        }
        const QList<double> separatorEdges{779, 646, 420, 287, 185};
        QCOMPARE(layout.separators.size(), separatorEdges.size());
        for (qsizetype i = 0; i < separatorEdges.size(); ++i) {
            QCOMPARE(layout.separators[i], QRectF(17, separatorEdges[i], 18, 1));
        }
    }

    void threeToolsArePlacedInTheWidget() {
        kanvo::ui::DocumentSession session;
        QWidget window;
        window.resize(54, 920);
        KanvoToolPaletteView palette(QRectF(0, 0, 54, 920), &session, kTools.first(3), &window);
        QCOMPARE(palette.buttons().size(), 3);
        const QList<double> lowerEdges{834, 803, 763};
        for (qsizetype i = 0; i < 3; ++i) {
            QCOMPARE(palette.buttons()[i]->geometry(),
                     KanvoFrame::toQt(QRectF(10, lowerEdges[i], 32, 29), 920).toRect());
        }
        const QList<QFrame*> separators = palette.findChildren<QFrame*>();
        QCOMPARE(separators.size(), 1);
        QCOMPARE(separators[0]->geometry(), KanvoFrame::toQt(QRectF(17, 779, 18, 1), 920).toRect());
    }

    void buttonTooltipsAndSymbols() {
        PaletteWindow w(nullptr);
        QCOMPARE(w.button("hand")->toolTip(), QStringLiteral("Hand Tool (H)"));
        QCOMPARE(w.button("plain")->toolTip(), QStringLiteral("Plain Tool"));
        QCOMPARE(w.button("hand")->accessibleDescription(), QStringLiteral("Hand Tool"));
        // Unknown and empty symbol names still show a glyph: the fallback grid.
        for (const char* id : {"brush", "plain", "hand"}) {
            const QImage image = w.button(id)->grab().toImage();
            const QColor background = image.pixelColor(1, 1);
            bool glyph = false;
            for (int y = 8; y < 21 && !glyph; ++y) {
                for (int x = 8; x < 24 && !glyph; ++x) {
                    glyph = image.pixelColor(x, y) != background;
                }
            }
            QVERIFY2(glyph, id);
        }
    }

    void selectedLookFollowsTheSession() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QCOMPARE(w.highlighted(), QStringList{"move"});
        const QPoint edge(16, 2);
        QCOMPARE(w.button("move")->grab().toImage().pixel(edge), KanvoColors::accent().rgb());
        QVERIFY(w.button("crop")->grab().toImage().pixel(edge) != KanvoColors::accent().rgb());
    }

    void shortcutSelectsTool_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("tool");
        QTest::newRow("lower-case-key")
            << int(Qt::Key_H) << "h" << Qt::KeyboardModifiers() << "hand";
        QTest::newRow("upper-case-key")
            << int(Qt::Key_H) << "H" << Qt::KeyboardModifiers() << "hand";
        QTest::newRow("upper-case-key-lower-case-shortcut")
            << int(Qt::Key_C) << "C" << Qt::KeyboardModifiers() << "crop";
        QTest::newRow("shift-is-allowed")
            << int(Qt::Key_H) << "H" << Qt::KeyboardModifiers(Qt::ShiftModifier) << "hand";
        QTest::newRow("duplicate-shortcut-first-in-order-wins")
            << int(Qt::Key_Z) << "z" << Qt::KeyboardModifiers() << "zoom";
    }

    void shortcutSelectsTool() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, tool);
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QSignalSpy posted = toolSpy();

        QTest::sendKeyEvent(QTest::Click, w.canvas, Qt::Key(key), text, modifiers);

        QCOMPARE(QString::fromStdString(session.selectedToolId()), tool);
        QCOMPARE(w.highlighted(), QStringList{tool});
        QCOMPARE(posted.size(), 1);
        QCOMPARE(posted[0][0].value<QObject*>(), w.palette);
        QVERIFY2(w.window.received.isEmpty(), "a matched shortcut is swallowed");
    }

    void otherKeysPassOnUnchanged_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("control") << int(Qt::Key_H) << "h"
                                 << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("alt") << int(Qt::Key_H) << "h" << Qt::KeyboardModifiers(Qt::AltModifier);
        QTest::newRow("meta") << int(Qt::Key_H) << "h" << Qt::KeyboardModifiers(Qt::MetaModifier);
        QTest::newRow("two-character-shortcut-never-matches")
            << int(Qt::Key_Q) << "q" << Qt::KeyboardModifiers();
        QTest::newRow("no-text-never-matches-an-empty-shortcut")
            << int(Qt::Key_Left) << "" << Qt::KeyboardModifiers();
        QTest::newRow("digit-without-a-tool") << int(Qt::Key_1) << "1" << Qt::KeyboardModifiers();
    }

    void otherKeysPassOnUnchanged() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QSignalSpy posted = toolSpy();

        QTest::sendKeyEvent(QTest::Click, w.canvas, Qt::Key(key), text, modifiers);

        QCOMPARE(session.selectedToolId(), std::string("move"));
        QCOMPARE(posted.size(), 0);
        QCOMPARE(w.window.received,
                 QList<QKeyCombination>{QKeyCombination(modifiers, Qt::Key(key))});
    }

    void escapeStillReachesTheCanvas() {
        QTemporaryDir folder;
        kanvo::ui::DocumentSession session;
        session.openImage(writeTestPng(folder.path(), 40, 30).toStdString());
        session.setCropBounds(1, 1, 20, 20);
        PaletteWindow w(&session);

        QTest::keyClick(w.canvas, Qt::Key_Escape);

        QVERIFY(!session.document()->crop.active);
    }

    void shortcutsTypeIntoTextFields() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QSignalSpy posted = toolSpy();
        w.field->setFocus();

        QTest::keyClicks(w.field, "hz");

        QCOMPARE(w.field->text(), QStringLiteral("hz"));
        QCOMPARE(session.selectedToolId(), std::string("move"));
        QCOMPARE(posted.size(), 0);
    }

    void clickingTheSelectedToolPostsAgain() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session);
        QSignalSpy posted = toolSpy();

        QTest::mouseClick(w.button("crop"), Qt::LeftButton);
        QTest::mouseClick(w.button("crop"), Qt::LeftButton);

        QCOMPARE(session.selectedToolId(), std::string("crop"));
        QCOMPARE(w.highlighted(), QStringList{"crop"});
        QCOMPARE(posted.size(), 2);
        QVERIFY2(w.canvas->hasFocus(), "a tool click leaves the focus on the canvas");
    }

    void nullSessionChangesNothing() {
        PaletteWindow w(nullptr);
        QSignalSpy posted = toolSpy();

        QTest::mouseClick(w.button("crop"), Qt::LeftButton);
        QTest::keyClick(w.canvas, Qt::Key_H);

        QCOMPARE(w.highlighted(), QStringList{});
        QCOMPARE(posted.size(), 0);
    }

    void selectedIdWithoutButtonHighlightsNone() {
        kanvo::ui::DocumentSession session;
        QWidget window;
        window.resize(54, 920);
        KanvoToolPaletteView palette(QRectF(0, 0, 54, 920), &session, kTools.mid(1), &window);
        for (KanvoToolButton* button : palette.buttons()) {
            QVERIFY(!button->isSelectedTool());
        }
    }

    void destroyedPaletteStopsFiltering() {
        kanvo::ui::DocumentSession session;
        auto w = std::make_unique<PaletteWindow>(&session);
        delete w->palette;

        QTest::keyClick(w->canvas, Qt::Key_H);

        QCOMPARE(session.selectedToolId(), std::string("move"));
        QCOMPARE(w->window.received.size(), 1);
    }
};

QTEST_MAIN(ToolPaletteTest)
#include "ToolPaletteTest.moc"
