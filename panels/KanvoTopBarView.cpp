#include "panels/KanvoTopBarView.h"

#include "kanvo/ui/document_session.h"
#include "kit/KanvoBoxView.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoGlyphCache.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoNotifications.h"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <cstdint>

KanvoTopBarView::KanvoTopBarView(const QRectF& frame, kanvo::ui::DocumentSession* session,
                                 QWidget* parent)
    : QWidget(parent), session_(session) {
    KanvoFrame::place(this, frame);
    const double w = width();

    icon(QStringLiteral("house.fill"), 14);
    icon(QStringLiteral("magnifyingglass"), 58);
    icon(QStringLiteral("plus.magnifyingglass"), 104);
    icon(QStringLiteral("minus.magnifyingglass"), 148);
    checkbox(QStringLiteral("Resize Windows to Fit"), 202, true);
    checkbox(QStringLiteral("Zoom All Windows"), 372, false);
    checkbox(QStringLiteral("Scrubby Zoom"), 532, true);
    zoomLabel_ = pill(QStringLiteral("100%"), 660, 62);
    pill(QStringLiteral("Fit Screen"), 736, 92);
    pill(QStringLiteral("Fill Screen"), 840, 100);

    toolLabel_ = KanvoLabel::text(QString(), 12, QFont::DemiBold);
    toolLabel_->setParent(this);
    KanvoFrame::place(toolLabel_, QRectF(w - 170, 16, 0, 22));
    hintLabel_ = KanvoLabel::text(QString(), 12, QFont::Normal);
    hintLabel_->setParent(this);
    KanvoFrame::place(hintLabel_, QRectF(w - 160, 16, 0, 22));

    auto* center = KanvoNotifications::defaultCenter();
    connect(center, &KanvoNotifications::toolSelectionChanged, this, &KanvoTopBarView::refresh);
    connect(center, &KanvoNotifications::documentSessionChanged, this, &KanvoTopBarView::refresh);
    connect(center, &KanvoNotifications::viewportChanged, this, &KanvoTopBarView::refresh);
    refresh();
}

void KanvoTopBarView::refresh() {
    if (!session_) {
        return;
    }
    toolLabel_->clear();
    hintLabel_->clear();
    const kanvo::ui::Document* document = session_->document();
    zoomLabel_->setText(zoomText(document ? document->viewport.zoom : 1.0));
}

QString KanvoTopBarView::zoomText(double zoom) {
    return QStringLiteral("%1%").arg(static_cast<std::int32_t>(zoom * 100));
}

QAbstractButton* KanvoTopBarView::icon(const QString& symbol, double x) {
    auto* button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(KanvoGlyphCache::shared().tinted(symbol, KanvoColors::label(), QSize(18, 18)));
    button->setIconSize(QSize(18, 18));
    button->setAccessibleName(symbol);
    KanvoFrame::place(button, QRectF(x, 11, 32, 30));
    return button;
}

QCheckBox* KanvoTopBarView::checkbox(const QString& title, double x, bool checked) {
    auto* box = new QCheckBox(title, this);
    box->setFont(KanvoLabel::font(12, QFont::Medium));
    box->setChecked(checked);
    box->setFocusPolicy(Qt::NoFocus);
    KanvoLabel::setTextColor(box, KanvoColors::label());
    KanvoFrame::place(box, QRectF(x, 14, 160, 24));
    return box;
}

QLabel* KanvoTopBarView::pill(const QString& text, double x, double width) {
    auto* box =
        new KanvoBoxView(QRectF(x, 11, width, 30),
                         {KanvoColors::white(0.96), KanvoColors::panelStroke(), 1.0, 4.0}, this);
    QLabel* label = KanvoLabel::text(text, 12, QFont::Medium);
    label->setParent(box);
    label->setAlignment(Qt::AlignCenter);
    KanvoFrame::place(label, QRectF(0, 0, width, 30));
    return label;
}
