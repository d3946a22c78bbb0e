#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoInspectorView.h"
#include "panels/KanvoToolButton.h"
#include "panels/KanvoToolPaletteLayout.h"
#include "panels/KanvoToolPaletteView.h"
#include "panels/KanvoTopBarView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest>

namespace {

const QList<KanvoToolRecord> kTools{{"move", "", "", "V"},  {"crop", "Crop Tool", "", "c"},
                                    {"hand", "", "", "H"},  {"zoom", "", "", "Z"},
                                    {"brush", "", "", "z"}, {"wide", "", "", "QQ"},
                                    {"plain", "", "", ""}};

// A shown window with the palette, a canvas and a read-only field (which passes letters up). Keys
// nobody takes end up here, without the modifier keys QTest presses first (codes from Shift on).
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
    KanvoToolPaletteView* palette;
    KanvoCanvasView* canvas = new KanvoCanvasView(QRectF(54, 30, 600, 600), this);
    QLineEdit* field = new QLineEdit(this);
    QStringList passedOn;
    QSignalSpy posted{KanvoNotifications::defaultCenter(),
                      &KanvoNotifications::toolSelectionChanged};
};

const QRectF kFrame(0, 0, 330, 920);

QString shown(const KanvoInspectorView& view) {
    return view.metadataLabel()->text() + " | " + view.layerNameField()->text() + " | " +
           QString::number(view.opacitySlider()->value());
}

} // namespace

class PanelsTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    const QString image_ = folder_.filePath("photo.png");

private slots:
    void initTestCase() {
        QImage image(1598, 1132, QImage::Format_Mono);
        image.fill(0);
        QVERIFY(image.save(image_));
    }

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

    // Each row ends in the selected tool, the notifications and the keys passed on.
    void keys() {
        struct Row {
            const char* fault;
            QKeyCombination key;
            QString text;
            QString outcome;
            bool inField = false;
        };
        for (const Row& row : std::initializer_list<Row>{
                 {"lower-case-key", Qt::Key_H, "h", "hand 1 "},
                 {"lower-case-shortcut", Qt::Key_C, "C", "crop 1 "},
                 {"shift", Qt::SHIFT | Qt::Key_H, "H", "hand 1 "},
                 {"duplicate-first-wins", Qt::Key_Z, "z", "zoom 1 "},
                 {"control", Qt::CTRL | Qt::Key_H, "h", "move 0 Ctrl+H"},
                 {"alt", Qt::ALT | Qt::Key_H, "h", "move 0 Alt+H"},
                 {"meta", Qt::META | Qt::Key_H, "h", "move 0 Meta+H"},
                 {"two-character-shortcut", Qt::Key_Q, "q", "move 0 Q"},
                 {"no-text-vs-empty-shortcut", Qt::Key_Left, "", "move 0 Left"},
                 {"text-field-has-focus", Qt::Key_H, "h", "move 0 H", true},
             }) {
            kanvo::ui::DocumentSession session;
            PaletteWindow w(&session);
            QWidget* target = row.inField ? static_cast<QWidget*>(w.field) : w.canvas;
            target->setFocus();
            QTest::sendKeyEvent(QTest::Click, target, row.key.key(), row.text,
                                row.key.keyboardModifiers());
            QCOMPARE(QStringList({row.fault, session.selectedToolId().c_str(),
                                  QString::number(w.posted.size()), w.passedOn.join(',')})
                         .join(' '),
                     QString(row.fault) + ' ' + row.outcome);
        }
    }

    // Clicking the selected tool posts again; a palette without a session changes nothing.
    void clicks() {
        kanvo::ui::DocumentSession session;
        PaletteWindow w(&session), detached(nullptr);
        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QTest::mouseClick(w.palette->buttons()[1], Qt::LeftButton);
        QTest::mouseClick(detached.palette->buttons()[2], Qt::LeftButton);
        QCOMPARE(session.selectedToolId(), "crop");
        QCOMPARE(w.posted.size(), 2);
        QVERIFY(w.palette->buttons()[1]->isSelectedTool() &&
                !w.palette->buttons()[0]->isSelectedTool());
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
        QVERIFY(manifest.open(QIODevice::WriteOnly) &&
                manifest.write("id=pen\xff\nlabel=Caf\xc3\xa9 \xc3(\n") > 0);
        manifest.close();
        const QList<KanvoToolRecord> tools = KanvoToolLoader::loadTools(scratch.path());
        QCOMPARE(tools.size(), 1);
        QCOMPARE(tools[0].id + tools[0].label, QStringLiteral("pen\uFFFDCaf\u00e9 \uFFFD("));
    }

    void inspectorShowsAndEditsTheActiveLayer() {
        kanvo::ui::DocumentSession session;
        KanvoInspectorView inspector(kFrame, &session, nullptr);
        QLineEdit* field = inspector.layerNameField();
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::documentSessionChanged);
        QCOMPARE(shown(inspector), "No document | Layer 1 | 100");

        session.openImage(image_.toStdString());
        inspector.refresh();
        QCOMPARE(shown(inspector), "Pixel Layer\n1598x1132 px \u00B7 1 layer | Layer 1 | 100");
        field->setText("Sky");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(posted.size(), 1);
        field->clear(); // an empty name keeps the old one and puts it back
        QTest::keyClick(field, Qt::Key_Return);
        QTest::mouseClick(inspector.visibilityButton(), Qt::LeftButton);
        QCOMPARE(posted.size(), 3);
        QVERIFY(!session.activeLayer()->visible);

        session.duplicateLayer(session.activeLayer()->id);
        session.setLayerOpacity(session.activeLayer()->id, 0.355);
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(shown(inspector), "Pixel Layer\n1598x1132 px \u00B7 2 layer | Sky copy | 36");
        // Showing the layer must not store the slider's rounded value back into it.
        QCOMPARE(session.activeLayer()->opacity, 0.355);
    }

    void destroyedMidEditLeavesTheLayerAlone() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        auto* inspector = new KanvoInspectorView(kFrame, &session, nullptr);
        inspector->show();
        QApplication::setActiveWindow(inspector);
        inspector->layerNameField()->setFocus();
        QTest::keyClicks(inspector->layerNameField(), "Sky");
        delete inspector; // the field's focus loss must not reach the dying view
        QCOMPARE(session.activeLayer()->name, "Layer 1");
    }

    void opacityBurstPostsOnceAfterTheLastValue() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        KanvoInspectorView inspector(kFrame, &session, nullptr);
        QList<double> opacityWhenPosted;
        QObject probe;
        connect(KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged,
                &probe, [&] { opacityWhenPosted << session.activeLayer()->opacity; });

        // No event loop runs between the moves, so they all fall within one sixtieth.
        for (int value = 99; value >= 50; --value) {
            inspector.opacitySlider()->setValue(value);
            QCOMPARE(session.activeLayer()->opacity, value / 100.0);
        }
        QCOMPARE(opacityWhenPosted.size(), 0);
        QTRY_COMPARE(opacityWhenPosted, QList<double>{0.5});
        inspector.opacitySlider()->setValue(20);
        // Had the burst posted more than once, the extra posts would come before this one.
        QTRY_COMPARE(opacityWhenPosted, (QList<double>{0.5, 0.2}));
    }

    // Each zoom times 100 lies just off a whole number (cut, not rounded) and changes the text.
    void zoomPillFollowsEachNotification() {
        kanvo::ui::DocumentSession session;
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), &session, nullptr);
        KanvoTopBarView detached(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        QCOMPARE(bar.zoomLabel()->text(), "100%");
        session.openImage(image_.toStdString());
        for (const auto& [notify, zoom, text] :
             {std::tuple{&KanvoNotifications::toolSelectionChanged, 0.29, "28%"},
              {&KanvoNotifications::documentSessionChanged, 0.57, "56%"},
              {&KanvoNotifications::viewportChanged, 1.1, "110%"}}) {
            session.fitViewport();
            session.zoomViewport(zoom);
            (KanvoNotifications::defaultCenter()->*notify)(nullptr);
            QCOMPARE(bar.zoomLabel()->text(), text);
        }
        QCOMPARE(detached.zoomLabel()->text(), "100%");
    }
};

QTEST_MAIN(PanelsTest)
#include "PanelsTest.moc"
