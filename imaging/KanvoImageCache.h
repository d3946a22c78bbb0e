#pragma once

#include "imaging/KanvoImage.h"

#include <QString>
#include <list>

// The decoded images kept for reopening: at most 8 and at most a byte budget
// (every representation counted), dropping the least recently used first.
// The budget is fixed at start rather than following memory pressure, so the
// image on screen and the cache together never pass it. Not thread-safe; its
// owner locks.
class KanvoImageCache {
public:
    static constexpr int countLimit = 8;

    explicit KanvoImageCache(qint64 budgetBytes) : budget_(budgetBytes) {}

    qint64 budgetBytes() const { return budget_; }
    qint64 bytes() const { return bytes_; }
    int count() const { return int(entries_.size()); }

    // Null when absent; a hit becomes the most recently used.
    KanvoImage take(const QString& key);
    // Keeps `image` unless it alone exceeds the budget, evicting as needed.
    void insert(const QString& key, const KanvoImage& image);
    // Evicts until `bytes` more would fit, so that an image being decoded
    // and the cache together stay within the budget.
    void makeRoom(qint64 bytes);

private:
    struct Entry {
        QString key;
        KanvoImage image;
        qint64 bytes;
    };
    void evictWhile(qint64 incoming, int incomingCount);

    qint64 budget_;
    qint64 bytes_ = 0;
    std::list<Entry> entries_; // most recently used first
};
