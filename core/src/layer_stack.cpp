#include "kanvo/ui/document_session.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kanvo::ui {

void DocumentSession::setActiveLayer(std::uint64_t id) {
    if (findLayer(id)) {
        document_->active_layer_id = id;
    }
}

void DocumentSession::renameLayer(std::uint64_t id, std::string name) {
    if (name.empty()) {
        return;
    }
    if (Layer* layer = findLayer(id)) {
        layer->name = std::move(name);
    }
}

void DocumentSession::setLayerVisible(std::uint64_t id, bool visible) {
    if (Layer* layer = findLayer(id)) {
        layer->visible = visible;
    }
}

void DocumentSession::setLayerOpacity(std::uint64_t id, double opacity) {
    if (Layer* layer = findLayer(id)) {
        layer->opacity = std::clamp(opacity, 0.0, 1.0);
    }
}

void DocumentSession::duplicateLayer(std::uint64_t id) {
    const Layer* source = findLayer(id);
    if (!source) {
        return;
    }
    Layer copy = *source;
    copy.id = next_layer_id_;
    copy.name += " copy";

    auto& layers = document_->layers;
    const auto after = layers.begin() + (source - layers.data()) + 1;
    layers.insert(after, std::move(copy));
    document_->active_layer_id = next_layer_id_;
    ++next_layer_id_;
}

void DocumentSession::deleteLayer(std::uint64_t id) {
    if (!document_ || document_->layers.size() < 2) {
        return;
    }
    auto& layers = document_->layers;
    const auto it = std::ranges::find(layers, id, &Layer::id);
    if (it == layers.end()) {
        return;
    }
    const bool wasActive = document_->active_layer_id == id;
    const auto index = static_cast<std::size_t>(it - layers.begin());
    layers.erase(it);
    if (wasActive) {
        // The layer that followed takes over, or the new last one.
        document_->active_layer_id = layers[std::min(index, layers.size() - 1)].id;
    }
}

void DocumentSession::moveLayer(std::uint64_t id, int delta) {
    if (delta == 0 || !document_) {
        return;
    }
    auto& layers = document_->layers;
    const auto it = std::ranges::find(layers, id, &Layer::id);
    if (it == layers.end()) {
        return;
    }
    const std::int64_t target = (it - layers.begin()) + static_cast<std::int64_t>(delta);
    if (target < 0 || target >= static_cast<std::int64_t>(layers.size())) {
        return;
    }
    std::swap(*it, layers[static_cast<std::size_t>(target)]);
}

} // namespace kanvo::ui
