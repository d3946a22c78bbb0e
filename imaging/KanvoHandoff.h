#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

// Hands items from one thread to another, a few at a time: the side that
// puts waits while `capacity` items wait to be taken, so a fast producer
// cannot run ahead of its consumer by more than that. Either side closes it
// when it stops; the other then stops waiting.
template <typename T> class KanvoHandoff {
public:
    explicit KanvoHandoff(std::size_t capacity) : capacity_(capacity) {}

    // Waits for room; false (and `item` dropped) once closed.
    bool put(T item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || items_.size() < capacity_; });
        if (closed_) {
            return false;
        }
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // Waits for an item; none once closed and every item put before has been
    // taken.
    std::optional<T> take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (items_.empty()) {
            return std::nullopt;
        }
        std::optional<T> item(std::move(items_.front()));
        items_.pop_front();
        changed_.notify_all();
        return item;
    }

    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
    bool closed_ = false;
};
