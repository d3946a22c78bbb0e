#pragma once

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
