#include "kanvo/ui/document_session.h"

#include <algorithm>
#include <utility>

namespace kanvo::ui {

const Document* DocumentSession::document() const {
    return document_ ? &*document_ : nullptr;
}

const Layer* DocumentSession::activeLayer() const {
    return document_ ? findLayer(document_->active_layer_id) : nullptr;
}

const Layer* DocumentSession::findLayer(std::uint64_t id) const {
    if (!document_) {
        return nullptr;
    }
    const auto& layers = document_->layers;
    const auto it = std::ranges::find(layers, id, &Layer::id);
    return it == layers.end() ? nullptr : &*it;
}

Layer* DocumentSession::findLayer(std::uint64_t id) {
    return const_cast<Layer*>(std::as_const(*this).findLayer(id));
}

const std::string& DocumentSession::selectedToolId() const {
    return selected_tool_id_;
}

void DocumentSession::selectTool(std::string id) {
    if (!id.empty()) {
        selected_tool_id_ = std::move(id);
    }
}

std::uint64_t DocumentSession::nextLayerId() {
    return next_layer_id_++;
}

ImageInfo DocumentSession::inspectImage(const std::filesystem::path& path) const {
    return inspectImageFile(path);
}

void DocumentSession::openImage(const std::filesystem::path& path) {
    ImageInfo info = inspectImageFile(path);

    Layer layer;
    layer.id = next_layer_id_;
    layer.name = "Layer 1";
    layer.source_path = info.path;
    layer.width = info.width;
    layer.height = info.height;

    Document document;
    document.path = std::move(info.path);
    document.canvas = {info.width, info.height};
    document.active_layer_id = layer.id;
    document.layers.push_back(std::move(layer));

    // Everything that can throw is done; from here on the session changes
    // all at once or not at all.
    document_ = std::move(document);
    ++next_layer_id_;
}

} // namespace kanvo::ui
