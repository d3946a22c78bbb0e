#pragma once

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Runs `work(i)` for i in [0, count): 0 on the calling thread, the others on
// threads of their own, and returns when all are done. For the decoders'
// short bursts of parallel work, which must not queue behind other jobs in
// a shared pool.
inline void forEachInParallel(int count, const std::function<void(int)>& work) {
    std::vector<std::jthread> helpers;
    for (int i = 1; i < count; ++i) {
        helpers.emplace_back(work, i);
    }
    work(0);
}

// Runs `work(i)` for i in [0, count) on `threads` threads as above, each
// taking the next i no other has taken: a thread that gets less of the
// cores (beside the window's own work) does less of it, rather than
// holding up the rest.
inline void forEachTakenInParallel(int threads, int count, const std::function<void(int)>& work) {
    std::atomic<int> next{0};
    forEachInParallel(threads, [&](int) {
        for (int i = next++; i < count; i = next++) {
            work(i);
        }
    });
}
