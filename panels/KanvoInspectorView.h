#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace kanvo::ui {
class DocumentSession;
struct Layer;
} // namespace kanvo::ui

// The right-hand column: colour, properties and layers panels. The layer name field, the
// visibility checkbox and the opacity slider edit the active layer; everything else is
// decoration. Every document notification re-reads the session.
class KanvoInspectorView : public QWidget {
    Q_OBJECT
public:
    KanvoInspectorView(const QRectF& frame, kanvo::ui::DocumentSession* session, QWidget* parent);
    ~KanvoInspectorView() override;

    QLabel* metadataLabel() const { return metadataLabel_; }
    QLineEdit* layerNameField() const { return layerNameField_; }
    QCheckBox* visibilityButton() const { return visibilityButton_; }
    QSlider* opacitySlider() const { return opacitySlider_; }

    void refresh();

    // The properties panel's summary of a document.
    static QString metadataText(std::size_t width, std::size_t height, std::size_t layerCount);

private:
    const kanvo::ui::Layer* activeLayer() const;
    void renameLayer();
    void updateVisibility(bool visible);
    void updateOpacity(int percent);

    QWidget* section(const QRectF& frame, const QString& title);
    QLabel* tab(QWidget* panel, const QString& title, double x);
    void icon(QWidget* panel, const QString& symbol, const QRectF& frame);
    void makeColorPanel(const QRectF& frame);
    void makePropertiesPanel(const QRectF& frame);
    void makeLayersPanel(const QRectF& frame);
    void addLayerControlsTo(QWidget* panel, double height);

    kanvo::ui::DocumentSession* session_;
    QLabel* metadataLabel_ = nullptr;
    QLineEdit* layerNameField_ = nullptr;
    QCheckBox* visibilityButton_ = nullptr;
    QSlider* opacitySlider_ = nullptr;
    bool opacityRedrawScheduled_ = false;
};
