#pragma once

#include "kanvo/ui/document_session.h"

#include <QPointF>
#include <string>

// One mouse-drag event, in y-up view points.
struct KanvoDragStep {
    QPointF point;     // where the pointer is now
    QPointF delta;     // movement since the previous event of the drag
    QPointF dragStart; // where the drag began
};

// What a tool does on the canvas. A null action means the tool has no canvas
// behaviour for that input: drags are ignored and scrolls are passed on.
struct KanvoCanvasTool {
    void (*drag)(kanvo::ui::DocumentSession& session, const KanvoDragStep& step);
    // delta is the scroll event's delta in points, with the platform's signs.
    void (*scroll)(kanvo::ui::DocumentSession& session, QPointF delta);
};

class KanvoCanvasTools {
public:
    // The behaviour of the tool with that id (compared whole and
    // case-sensitively); tools without canvas behaviour get one with no actions.
    static const KanvoCanvasTool& forId(const std::string& toolId);

    // Scrolling with the zoom modifier held zooms whatever the tool.
    static const KanvoCanvasTool& zoom();
};
