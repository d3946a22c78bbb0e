#include "imaging/KanvoImageCache.h"

#include <algorithm>

KanvoImage KanvoImageCache::take(const QString& key) {
    const auto hit = std::ranges::find(entries_, key, &Entry::key);
    if (hit == entries_.end()) {
        return {};
    }
    entries_.splice(entries_.begin(), entries_, hit);
    return hit->image;
}

void KanvoImageCache::insert(const QString& key, const KanvoImage& image) {
    if (const auto old = std::ranges::find(entries_, key, &Entry::key); old != entries_.end()) {
        bytes_ -= old->bytes;
        entries_.erase(old);
    }
    const qint64 size = image.byteCount();
    if (image.isNull() || size > budget_) {
        return;
    }
    evictWhile(size, 1);
    entries_.push_front({key, image, size});
    bytes_ += size;
}

void KanvoImageCache::makeRoom(qint64 bytes) {
    evictWhile(std::min(bytes, budget_), 0);
}

void KanvoImageCache::evictWhile(qint64 incoming, int incomingCount) {
    while (!entries_.empty() &&
           (bytes_ + incoming > budget_ || count() + incomingCount > countLimit)) {
        bytes_ -= entries_.back().bytes;
        entries_.pop_back();
    }
}
