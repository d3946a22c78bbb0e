#include "panels/KanvoWorkspaceView.h"

#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"
#include "kit/KanvoBoxView.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoPanelView.h"
#include "panels/KanvoInspectorView.h"
#include "panels/KanvoToolPaletteView.h"
#include "panels/KanvoTopBarView.h"

#include <QLabel>

KanvoWorkspaceView::KanvoWorkspaceView(const QRectF& frame, QWidget* parent) : QWidget(parent) {
    KanvoFrame::place(this, frame);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, KanvoColors::appBackground());
    setPalette(background);

    // Siblings paint in the order they are added, so this order is the
    // stacking order: the generate bar floats above the canvas.
    const double w = frame.width();
    const double h = frame.height();
    new KanvoPanelView({0, 0, 54, h}, this);
    new KanvoToolPaletteView({0, 0, 54, h}, &session_, this);
    new KanvoPanelView({54, h - 88, w - 384, 88}, this);
    new KanvoTopBarView({54, h - 52, w - 384, 52}, &session_, this);
    addTabStrip({54, h - 88, w - 384, 36});
    canvas_ = new KanvoCanvasView(canvasFrame(frame.size()), this);
    canvas_->setSession(&session_);
    addStatusBar({54, 0, w - 384, 30});
    makeGenerateBar({78, 44, 640, 58});
    new KanvoPanelView({w - 330, 0, 330, h}, this);
    new KanvoInspectorView({w - 330, 0, 330, h}, &session_, this);
}

QRectF KanvoWorkspaceView::canvasFrame(QSizeF size) {
    return {54, 30, size.width() - 384, size.height() - 118};
}

KanvoWorkspaceView::~KanvoWorkspaceView() {
    // ~QWidget deletes children only after session_ is gone, and several of
    // them hold its address, so they go first.
    while (!children().isEmpty()) {
        delete children().constFirst();
    }
}

bool KanvoWorkspaceView::openImageURL(const QUrl& url) {
    return canvas_->openImageURL(url);
}

bool KanvoWorkspaceView::exportImageURL(const QUrl& url) {
    return canvas_->exportImageURL(url);
}

void KanvoWorkspaceView::fitCanvasToScreen() {
    canvas_->fitToScreen();
}

void KanvoWorkspaceView::addTabStrip(const QRectF& frame) {
    auto* strip = new KanvoBoxView(frame, {KanvoColors::white(0.82)}, this);
    strip->setObjectName(QStringLiteral("tabStrip"));

    auto* tab = new KanvoBoxView({12, 5, 320, 25}, {KanvoColors::white(0.94), {}, 0.0, 3.0}, strip);
    QLabel* title = KanvoLabel::text(QStringLiteral("  Untitled @ 100% (Layer 1, RGB/8*)  ×"), 13,
                                     QFont::DemiBold);
    title->setParent(tab);
    title->setGeometry(tab->rect());
}

void KanvoWorkspaceView::addStatusBar(const QRectF& frame) {
    auto* bar =
        new KanvoBoxView(frame, {KanvoColors::white(0.88), KanvoColors::panelStroke(), 1.0}, this);
    bar->setObjectName(QStringLiteral("statusBar"));

    QLabel* info = KanvoLabel::text(QStringLiteral("  100%     1598 px × 1132 px (72 ppi)"), 12,
                                    QFont::Medium);
    KanvoLabel::setTextColor(info, KanvoColors::muted());
    info->setParent(bar);
    KanvoFrame::place(info, {12, 5, 260, 18});

    new KanvoBoxView({frame.width() - 430, 8, 360, 12}, {KanvoColors::white(0.72), {}, 0.0, 6.0},
                     bar);
}

KanvoGenerateBar* KanvoWorkspaceView::makeGenerateBar(const QRectF& frame) {
    return new KanvoGenerateBar(frame, canvas_, this);
}
