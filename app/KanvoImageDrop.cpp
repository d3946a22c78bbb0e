#include "app/KanvoImageDrop.h"

#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"

#include <QDropEvent>
#include <QMimeData>
#include <filesystem>

KanvoImageDrop::KanvoImageDrop(KanvoCanvasView* canvas) : QObject(canvas), canvas_(canvas) {
    canvas->setAcceptDrops(true);
    canvas->installEventFilter(this);
}

QUrl KanvoImageDrop::urlFrom(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url : QUrl();
}

bool KanvoImageDrop::canRead(const QMimeData* data) {
    const QUrl url = urlFrom(data);
    if (url.isEmpty()) {
        return false;
    }
    try {
        const kanvo::ui::DocumentSession probe;
        probe.inspectImage(std::filesystem::path(url.toLocalFile().toStdU16String()));
        return true;
    } catch (...) {
        return false;
    }
}

bool KanvoImageDrop::load(const QMimeData* data, KanvoCanvasView* target) {
    return target->openImageURL(urlFrom(data));
}

bool KanvoImageDrop::eventFilter(QObject* watched, QEvent* event) {
    if (watched != canvas_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (event->type() == QEvent::DragEnter) {
            dragReadable_ = canRead(drag->mimeData());
        }
        if (dragReadable_) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        drop->setDropAction(Qt::CopyAction);
        drop->setAccepted(load(drop->mimeData(), canvas_));
        return true;
    }
    default:
        return false;
    }
}
