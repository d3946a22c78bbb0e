#pragma once

#include "imaging/KanvoImage.h"
#include "kanvo/ui/document_session.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <cstdint>

// The view in the middle of the window: shows the open image and turns mouse,
// key, scroll and pinch input into session operations. It works in y-up view
// coordinates; events are converted as they arrive.
class KanvoCanvasView : public QWidget {
    Q_OBJECT
public:
    KanvoCanvasView(const QRectF& frame, QWidget* parent);

    // The session is owned by the caller and must outlive the canvas.
    void setSession(kanvo::ui::DocumentSession* session);
    kanvo::ui::DocumentSession* session() const { return session_; }

    // Opens the file's header at once and decodes its pixels in the
    // background. False when the header is rejected; nothing changes then.
    // An image larger than the view shows a preview first (a JPEG's reduced
    // decode, a PNG's pixels before their halvings), replaced in place by the
    // full image when that is ready.
    bool openImageURL(const QUrl& url);
    // Writes the full decoded image (waiting for it after a preview) with its
    // colour profile: JPEG for a .jpg/.jpeg name in any case, PNG for every
    // other name. An existing file is replaced only on success.
    bool exportImageURL(const QUrl& url);
    void fitToScreen();

    // The pixels shown: a preview's reduced decode until the full image arrives.
    QImage image() const { return image_.pixels(); }
    // Whether the image shown is a preview still waiting for its full image.
    bool showsPreview() const { return image_.isPreview(); }

    // The device pixels an image of the header's size covers fitted into a
    // canvas view of `viewSize`: what a preview decode must still cover.
    // Invalid for a size beyond what any decoder takes.
    static QSize fittedDevicePixels(const kanvo::ui::Canvas& header, QSizeF viewSize,
                                    qreal devicePixelRatio);

    // Starts decoding `url` for a canvas of `viewSize`, ahead of the open
    // that will follow (the file named on the command line while the window
    // is built, the file chosen in the Open dialog while it closes); the
    // open then joins that decode. A header the core refuses starts nothing.
    static void startDecoding(const QUrl& url, QSizeF viewSize, qreal devicePixelRatio);
    QString imageName() const { return imageName_; }
    QString statusText() const { return statusText_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    // The canvas draws no sign of focus, so gaining or losing it (as the
    // window is activated at launch) repaints nothing.
    void focusInEvent(QFocusEvent*) override {}
    void focusOutEvent(QFocusEvent*) override {}

private:
    QPointF viewPoint(QPointF qtPoint) const;
    bool hasDocument() const;
    void finishDecode(std::uint64_t generation, const KanvoImage& image);
    void sharpen(std::uint64_t generation, const KanvoImage& full);
    // Shows `image`; a tiled one repaints the canvas as its tiles arrive.
    void show(const KanvoImage& image);
    void pinch(double magnification);
    void viewportEdited();

    kanvo::ui::DocumentSession* session_ = nullptr;
    KanvoImage image_;
    QString imageName_;
    QString statusText_;
    QPointF lastDragPoint_;
    QPointF cropStartPoint_;
    std::uint64_t decodeGeneration_ = 0;
};
