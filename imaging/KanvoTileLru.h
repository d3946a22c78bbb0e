#pragma once

#include <QtGlobal>
#include <algorithm>
#include <list>

// Tiles kept the most recently used first, each with its cost, and dropped
// from the least recently used end while they cost more than a budget,
// passing over those still in use. Finding a tile walks the list, which the
// owners' budgets keep to a few hundred. Not thread-safe; its owner locks.
template <typename Key, typename Tile> class KanvoTileLru {
public:
    // The tile kept under `key`, now the most recently used; null if none.
    Tile* use(const Key& key) {
        const auto kept = std::ranges::find(entries_, key, &Entry::key);
        if (kept == entries_.end()) {
            return nullptr;
        }
        entries_.splice(entries_.begin(), entries_, kept);
        return &kept->tile;
    }

    // Keeps `tile` as the most recently used; `key` is not kept already.
    void add(Key key, Tile tile, qint64 cost) {
        entries_.push_front({std::move(key), std::move(tile), cost});
        cost_ += cost;
    }

    // Drops the least recently used tiles while all cost more than `budget`,
    // passing over those whose key `inUse` holds.
    template <typename InUse> void evictBeyond(qint64 budget, const InUse& inUse) {
        for (auto entry = entries_.end(); cost_ > budget && entry != entries_.begin();) {
            --entry;
            if (!inUse(entry->key)) {
                cost_ -= entry->cost;
                entry = entries_.erase(entry);
            }
        }
    }

private:
    struct Entry {
        Key key;
        Tile tile;
        qint64 cost;
    };
    std::list<Entry> entries_; // most recently used first
    qint64 cost_ = 0;
};
