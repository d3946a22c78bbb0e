#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoToolButton.h"
#include "panels/KanvoToolPaletteLayout.h"
#include "panels/KanvoToolPaletteView.h"

#include <QLineEdit>
#include <QtTest>

namespace {

const QList<KanvoToolRecord> kTools{
    {"move", "Move Tool", "", "V"},   {"crop", "Crop Tool", "", "c"},
    {"hand", "Hand Tool", "", "H"},   {"zoom", "Zoom Tool", "", "Z"},
    {"brush", "Brush Tool", "", "z"}, {"wide", "Wide Tool", "", "QQ"},
    {"plain", "Plain Tool", "", ""},
};

// A shown window with the palette, a real canvas and a read-only text field, which passes the
// letters typed into it up to its parents. Keys nobody takes end up here, without the modifier
// keys QTest presses first (their codes start at Shift).
struct PaletteWindow : QWidget {
    explicit PaletteWindow(kanvo::ui::DocumentSession* session)
        : palette(new KanvoToolPaletteView(QRectF(0, 0, 54, 920), session, kTools, this)) {
        field->setReadOnly(true);
        show();
        QApplication::setActiveWindow(this);
        canvas->setFocus();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() < Qt::Key_Shift) {
            passedOn << QKeySequence(event->keyCombination()).toString();
        }
    }
    // The first highlighted button's tool: one left highlighted shows before the new one.
    QString highlighted() const {
        const auto lit = std::ranges::find_if(palette->buttons(), &KanvoToolButton::isSelectedTool);
        return lit == palette->buttons().end() ? "none" : (*lit)->toolId();
    }

    KanvoToolPaletteView* palette;
    KanvoCanvasView* canvas = new KanvoCanvasView(QRectF(54, 30, 600, 600), this);
    QLineEdit* field = new QLineEdit(this);
    QStringList passedOn;
    QSignalSpy posted{KanvoNotifications::defaultCenter(),
                      &KanvoNotifications::toolSelectionChanged};
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
    }

    // Each row ends in the selected tool, the highlighted one, the notifications and the keys
    // passed on.
    void keys() {
        struct Row {
            const char* fault;
            QKeyCombination key;
            QString text;
            QString outcome;
            bool inField = false;
        };
        for (const Row& row : std::initializer_list<Row>{
                 {"lower-case-key", Qt::Key_H, "h", "hand hand 1 "},
                 {"lower-case-shortcut", Qt::Key_C, "C", "crop crop 1 "},
                 {"shift", Qt::SHIFT | Qt::Key_H, "H", "hand hand 1 "},
                 {"duplicate-first-wins", Qt::Key_Z, "z", "zoom zoom 1 "},
                 {"control", Qt::CTRL | Qt::Key_H, "h", "move move 0 Ctrl+H"},
                 {"alt", Qt::ALT | Qt::Key_H, "h", "move move 0 Alt+H"},
                 {"meta", Qt::META | Qt::Key_H, "h", "move move 0 Meta+H"},
                 {"two-character-shortcut", Qt::Key_Q, "q", "move move 0 Q"},
                 {"no-text-vs-empty-shortcut", Qt::Key_Left, "", "move move 0 Left"},
                 {"text-field-has-focus", Qt::Key_H, "h", "move move 0 H", true},
             }) {
            kanvo::ui::DocumentSession session;
            PaletteWindow w(&session);
            QWidget* target = row.inField ? static_cast<QWidget*>(w.field) : w.canvas;
            target->setFocus();
            QSignalSpy posted(KanvoNotifications::defaultCenter(),
                              &KanvoNotifications::toolSelectionChanged);
            QTest::sendKeyEvent(QTest::Click, target, row.key.key(), row.text,
                                row.key.keyboardModifiers());
            QCOMPARE(QStringList({row.fault, session.selectedToolId().c_str(), w.highlighted(),
                                  QString::number(posted.size()), w.passedOn.join(',')})
                         .join(' '),
                     QString(row.fault) + ' ' + row.outcome);
        }
    }

    // Clicking the selected tool posts again; a palette without a session changes nothing.
    void clicks() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session), detached(nullptr);
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::toolSelectionChanged);
        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QTest::mouseClick(detached.palette->buttons()[2], Qt::LeftButton);
        QCOMPARE(QStringList({session.selectedToolId().c_str(), w.highlighted(),
                              detached.highlighted(), QString::number(posted.size())}),
                 QStringList({"crop", "crop", "none", "2"}));
        QVERIFY2(w.focusWidget() == w.canvas, "a tool click leaves the focus on the canvas");
        QCOMPARE(w.palette->buttons()[1]->toolTip(), "Crop Tool (c)");
    }

    // A missing folder gives no tools and says why; bad bytes become U+FFFD.
    void loaderCopesWithAMissingFolderAndBadBytes() {
        QTemporaryDir scratch;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no tools loaded from .*/missing"));
        QCOMPARE(KanvoToolLoader::loadTools(scratch.filePath("missing")).size(), 0);
        QDir(scratch.path()).mkpath("a");
        QFile manifest(scratch.filePath("a/tool.txt"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write("id=pen\xff\nlabel=Caf\xc3\xa9 \xc3(\n");
        manifest.close();
        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools(scratch.path());
        QCOMPARE(tools.size(), 1);
        QCOMPARE(tools[0].id + tools[0].label, QStringLiteral("pen\uFFFDCaf\u00e9 \uFFFD("));
    }
};

QTEST_MAIN(ToolPaletteTest)
#include "ToolPaletteTest.moc"
