#include "panels/KanvoInspectorView.h"

#include "kanvo/ui/document_session.h"
#include "kit/KanvoBoxView.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoGlyphCache.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoNotifications.h"
#include "kit/KanvoPanelView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <chrono>

namespace {

// A sixtieth of a second, rounded up to the timer's millisecond resolution so that
// notifications never come closer together than that.
constexpr auto kOpacityNotificationDelay =
    std::chrono::ceil<std::chrono::milliseconds>(std::chrono::nanoseconds(16666666));

constexpr double kColorPanelHeight = 214;
constexpr double kPropertiesPanelHeight = 286;
constexpr double kUpperPanelsHeight = kColorPanelHeight + kPropertiesPanelHeight;

QLabel* addLabel(QWidget* parent, const QString& text, double size, QFont::Weight weight,
                 const QRectF& frame) {
    QLabel* label = KanvoLabel::text(text, size, weight);
    label->setParent(parent);
    KanvoFrame::place(label, frame);
    return label;
}

// A box with a short text inside, like the W/H/X/Y fields and the kind filter.
void addTextBox(QWidget* parent, const QString& text, QFont::Weight weight, const QRectF& frame) {
    auto* box = new KanvoBoxView(frame, {KanvoColors::white(0.96), KanvoColors::panelStroke(), 1.0},
                                 parent);
    addLabel(box, text, 12, weight, QRectF(QPointF(0, 0), frame.size()));
}

} // namespace

KanvoInspectorView::KanvoInspectorView(const QRectF& frame, kanvo::ui::DocumentSession* session,
                                       QWidget* parent)
    : QWidget(parent), session_(session) {
    KanvoFrame::place(this, frame);
    const double w = width();
    const double h = height();
    makeColorPanel(QRectF(0, h - kColorPanelHeight, w, kColorPanelHeight));
    makePropertiesPanel(QRectF(0, h - kUpperPanelsHeight, w, kPropertiesPanelHeight));
    makeLayersPanel(QRectF(0, 0, w, h - kUpperPanelsHeight));

    connect(KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged, this,
            &KanvoInspectorView::refresh);
    refresh();
}

// The name field loses focus while ~QWidget deletes it, and its
// editingFinished would otherwise reach this half-destroyed view.
KanvoInspectorView::~KanvoInspectorView() {
    layerNameField_->disconnect(this);
}

QString KanvoInspectorView::metadataText(std::size_t width, std::size_t height,
                                         std::size_t layerCount) {
    return QStringLiteral("Pixel Layer\n%1x%2 px \u00B7 %3 layer")
        .arg(width)
        .arg(height)
        .arg(layerCount);
}

void KanvoInspectorView::refresh() {
    const kanvo::ui::Document* document = session_ ? session_->document() : nullptr;
    const kanvo::ui::Layer* layer = activeLayer();
    // Filling the controls must not count as the user changing them.
    const QSignalBlocker blockSlider(opacitySlider_);
    if (document && layer) {
        metadataLabel_->setText(
            metadataText(document->canvas.width, document->canvas.height, document->layers.size()));
        layerNameField_->setText(QString::fromStdString(layer->name));
        visibilityButton_->setChecked(layer->visible);
        opacitySlider_->setValue(qRound(layer->opacity * 100));
    } else {
        metadataLabel_->setText(QStringLiteral("No document"));
        layerNameField_->setText(QStringLiteral("Layer 1"));
        opacitySlider_->setValue(100);
    }
}

const kanvo::ui::Layer* KanvoInspectorView::activeLayer() const {
    return session_ ? session_->activeLayer() : nullptr;
}

void KanvoInspectorView::renameLayer() {
    const kanvo::ui::Layer* layer = activeLayer();
    if (!layer) {
        return;
    }
    session_->renameLayer(layer->id, layerNameField_->text().toStdString());
    emit KanvoNotifications::defaultCenter()->documentSessionChanged(this);
}

void KanvoInspectorView::updateVisibility(bool visible) {
    const kanvo::ui::Layer* layer = activeLayer();
    if (!layer) {
        return;
    }
    session_->setLayerVisible(layer->id, visible);
    emit KanvoNotifications::defaultCenter()->documentSessionChanged(this);
}

void KanvoInspectorView::updateOpacity(int percent) {
    const kanvo::ui::Layer* layer = activeLayer();
    if (!layer) {
        return;
    }
    session_->setLayerOpacity(layer->id, percent / 100.0);
    // A slider drag stores every value at once but redraws at most once a frame; the pending
    // notification also covers every value stored before it fires.
    if (opacityRedrawScheduled_) {
        return;
    }
    opacityRedrawScheduled_ = true;
    QTimer::singleShot(kOpacityNotificationDelay, Qt::PreciseTimer, this, [this] {
        opacityRedrawScheduled_ = false;
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(this);
    });
}

QWidget* KanvoInspectorView::section(const QRectF& frame, const QString& title) {
    auto* panel = new KanvoPanelView(frame, this);
    const double pw = frame.width();
    const double ph = frame.height();
    addLabel(panel, title, 13, QFont::Bold, QRectF(16, ph - 31, 180, 20));
    addLabel(panel, QStringLiteral("\u2261"), 16, QFont::Normal, QRectF(pw - 28, ph - 32, 18, 20));
    return panel;
}

QLabel* KanvoInspectorView::tab(QWidget* panel, const QString& title, double x) {
    QLabel* label = addLabel(panel, title, 12, QFont::DemiBold, QRectF(x, 12, 78, 24));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void KanvoInspectorView::icon(QWidget* panel, const QString& symbol, const QRectF& frame) {
    auto* button = new QToolButton(panel);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    const QSize glyph(qMin(18, int(frame.width()) - 6), qMin(18, int(frame.height()) - 6));
    button->setIcon(KanvoGlyphCache::shared().tinted(symbol, KanvoColors::muted(), glyph));
    button->setIconSize(glyph);
    button->setAccessibleName(symbol);
    KanvoFrame::place(button, frame);
}

void KanvoInspectorView::makeColorPanel(const QRectF& frame) {
    QWidget* panel = section(frame, QStringLiteral("Color"));
    const double pw = frame.width();
    tab(panel, QStringLiteral("Swatches"), 74);
    tab(panel, QStringLiteral("Gradients"), 154);
    tab(panel, QStringLiteral("Patterns"), 240);
    new KanvoBoxView(QRectF(58, 54, pw - 104, 106),
                     {QColor::fromRgbF(0.92f, 0.27f, 0.24f), KanvoColors::panelStroke(), 1.0},
                     panel);
    new KanvoBoxView(QRectF(pw - 38, 54, 18, 106), {QColor::fromRgbF(0.2f, 0.55f, 1.0f)}, panel);
    new KanvoBoxView(QRectF(18, 118, 28, 28), {Qt::black, Qt::white, 2.0}, panel);
}

void KanvoInspectorView::makePropertiesPanel(const QRectF& frame) {
    QWidget* panel = section(frame, QStringLiteral("Properties"));
    const double pw = frame.width();
    const double ph = frame.height();
    tab(panel, QStringLiteral("Adjustments"), 102);
    tab(panel, QStringLiteral("Libraries"), 206);

    metadataLabel_ = addLabel(panel, QStringLiteral("No document"), 12, QFont::Normal,
                              QRectF(16, ph - 74, pw - 32, 38));

    addLabel(panel, QStringLiteral("Transform"), 13, QFont::Bold, QRectF(16, ph - 112, 160, 20));
    const std::array<QString, 4> letters{QStringLiteral("W"), QStringLiteral("H"),
                                         QStringLiteral("X"), QStringLiteral("Y")};
    for (int i = 0; i < 4; ++i) {
        const double x = i % 2 == 1 ? 150 : 18;
        addTextBox(panel, letters[i], QFont::Medium, QRectF(x, ph - 148 - 36 * (i / 2), 108, 24));
    }
    addLabel(panel, QStringLiteral("Align and Distribute"), 13, QFont::Bold,
             QRectF(16, 80, 180, 20));
    const std::array<QString, 6> aligns{
        QStringLiteral("align.horizontal.left"),  QStringLiteral("align.horizontal.center"),
        QStringLiteral("align.horizontal.right"), QStringLiteral("align.vertical.top"),
        QStringLiteral("align.vertical.center"),  QStringLiteral("align.vertical.bottom")};
    for (int i = 0; i < 6; ++i) {
        icon(panel, aligns[i], QRectF(18 + 48 * i, 42, 28, 28));
    }
}

void KanvoInspectorView::makeLayersPanel(const QRectF& frame) {
    QWidget* panel = section(frame, QStringLiteral("Layers"));
    tab(panel, QStringLiteral("Channels"), 86);
    tab(panel, QStringLiteral("Paths"), 174);
    addLayerControlsTo(panel, frame.height());
}

void KanvoInspectorView::addLayerControlsTo(QWidget* panel, double lh) {
    addTextBox(panel, QStringLiteral("  Kind"), QFont::Normal, QRectF(14, lh - 72, 104, 24));
    new KanvoBoxView(QRectF(12, lh - 182, 292, 48), {KanvoColors::white(0.82), {}, 0.0, 3.0},
                     panel);

    visibilityButton_ = new QCheckBox(panel);
    visibilityButton_->setFocusPolicy(Qt::NoFocus);
    KanvoFrame::place(visibilityButton_, QRectF(16, lh - 166, 26, 26));
    connect(visibilityButton_, &QCheckBox::clicked, this, &KanvoInspectorView::updateVisibility);

    new KanvoBoxView(QRectF(48, lh - 168, 32, 32), {Qt::white, KanvoColors::panelStroke(), 1.0},
                     panel);

    layerNameField_ = new QLineEdit(panel);
    layerNameField_->setFrame(false);
    layerNameField_->setFont(KanvoLabel::font(13, QFont::DemiBold));
    QPalette namePalette = layerNameField_->palette();
    namePalette.setColor(QPalette::Base, Qt::transparent);
    namePalette.setColor(QPalette::Text, KanvoColors::label());
    layerNameField_->setPalette(namePalette);
    KanvoFrame::place(layerNameField_, QRectF(86, lh - 166, 190, 28));
    // Fires on Return and when the field loses focus after an edit.
    connect(layerNameField_, &QLineEdit::editingFinished, this, &KanvoInspectorView::renameLayer);

    addLabel(panel, QStringLiteral("Opacity: 100%"), 12, QFont::Medium,
             QRectF(16, lh - 116, 110, 20));

    opacitySlider_ = new QSlider(Qt::Horizontal, panel);
    opacitySlider_->setRange(0, 100);
    opacitySlider_->setFocusPolicy(Qt::NoFocus);
    KanvoFrame::place(opacitySlider_, QRectF(130, lh - 119, 168, 22));
    connect(opacitySlider_, &QSlider::valueChanged, this, &KanvoInspectorView::updateOpacity);

    const std::array<QString, 6> layerIcons{QStringLiteral("link"),        QStringLiteral("fx"),
                                            QStringLiteral("circle"),      QStringLiteral("folder"),
                                            QStringLiteral("plus.square"), QStringLiteral("trash")};
    for (int i = 0; i < 6; ++i) {
        icon(panel, layerIcons[i], QRectF(122 + 32 * i, 16, 24, 24));
    }
}
