#pragma once

#include "kanvo/ui/document.h"
#include "kanvo/ui/image_inspection.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kanvo::ui {

// Owns the open document, the selected tool and the layer-id counter. Every
// operation that changes the document silently does nothing while no document
// is open or when its arguments name no layer. Pointers returned by the
// accessors are invalidated by any operation that changes the layer vector.
class DocumentSession {
public:
    const Document* document() const;
    const Layer* activeLayer() const;
    const Layer* findLayer(std::uint64_t id) const;
    Layer* findLayer(std::uint64_t id);

    const std::string& selectedToolId() const;
    void selectTool(std::string id);

    std::uint64_t nextLayerId();

    ImageInfo inspectImage(const std::filesystem::path& path) const;
    // Replaces the document by one built from the file's header; on a throw
    // the session is left exactly as it was.
    void openImage(const std::filesystem::path& path);

    void setActiveLayer(std::uint64_t id);
    void renameLayer(std::uint64_t id, std::string name);
    void setLayerVisible(std::uint64_t id, bool visible);
    void setLayerOpacity(std::uint64_t id, double opacity);
    void duplicateLayer(std::uint64_t id);
    void deleteLayer(std::uint64_t id);
    void moveLayer(std::uint64_t id, int delta);

    void panViewport(double dx, double dy);
    void zoomViewport(double factor);
    void fitViewport();
    void setCropBounds(double x, double y, double width, double height);
    void clearCropBounds();
    void moveActiveLayer(double dx, double dy);
    void clearAlignGuides();

private:
    std::optional<Document> document_;
    std::string selected_tool_id_ = "move";
    std::uint64_t next_layer_id_ = 1;
};

} // namespace kanvo::ui
