#pragma once

#include <QObject>
#include <QUrl>

class KanvoCanvasView;
class QMimeData;

// Makes the canvas a drop target for image files. A drag is accepted when the
// file's header can be read, whatever its name says; a drop opens the file on
// the canvas, which reports a failure itself.
class KanvoImageDrop : public QObject {
    Q_OBJECT
public:
    // Watches the canvas's drag and drop events for as long as the canvas lives.
    explicit KanvoImageDrop(KanvoCanvasView* canvas);

    // The dragged local file, or an empty URL.
    static QUrl urlFrom(const QMimeData* data);
    static bool canRead(const QMimeData* data);
    static bool load(const QMimeData* data, KanvoCanvasView* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KanvoCanvasView* canvas_;
    // Decided once when the drag enters, so moves do not read the file again.
    bool dragReadable_ = false;
};
