#pragma once

#include "kanvo/ui/document_session.h"

#include <QWidget>

class KanvoCanvasView;
class KanvoGenerateBar;

// The main window's content: the session of the application and every panel
// around the canvas, each at a fixed frame computed once from the view's own
// frame. Resizing the window moves and stretches nothing.
class KanvoWorkspaceView : public QWidget {
    Q_OBJECT
public:
    // The frame has its origin at the lower left of the parent, y upwards.
    KanvoWorkspaceView(const QRectF& frame, QWidget* parent);
    ~KanvoWorkspaceView() override;

    KanvoCanvasView* canvas() const { return canvas_; }
    // The canvas's frame inside a workspace of `size`.
    static QRectF canvasFrame(QSizeF size);

    bool openImageURL(const QUrl& url);
    bool exportImageURL(const QUrl& url);
    void fitCanvasToScreen();

private:
    void addTabStrip(const QRectF& frame);
    void addStatusBar(const QRectF& frame);
    KanvoGenerateBar* makeGenerateBar(const QRectF& frame);

    // Panels keep this session's address; the destructor deletes them first.
    kanvo::ui::DocumentSession session_;
    KanvoCanvasView* canvas_ = nullptr;
};
