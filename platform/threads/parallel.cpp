// The pool is oneTBB's. ThreadSanitizer cannot see the synchronisation inside the
// uninstrumented library and reports its hand-overs as races, so a build for it
// (LUMARQ_PLAIN_THREADS) runs the same loops on plain threads that it does see.
#include "platform/threads/parallel.h"

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "settings/whole_number.h"

namespace parallel {

namespace {

std::atomic<int> chosenThreads{0};

#if !defined(LUMARQ_PLAIN_THREADS)
// One arena per thread count, made on first use and kept: making one costs more
// than a small render.
tbb::task_arena& ArenaFor(int threads) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<tbb::task_arena>> arenas;
    // The scheduler lends no more threads than cores unless allowed to.
    static std::unique_ptr<tbb::global_control> allowance;
    static int allowed = Cores();
    const std::lock_guard lock(mutex);
    if (threads > allowed) {
        auto wider = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism, threads);
        allowance = std::move(wider);  // the narrower one goes only once the wider one holds
        allowed = threads;
    }
    std::unique_ptr<tbb::task_arena>& arena = arenas[threads];
    if (!arena) arena = std::make_unique<tbb::task_arena>(threads);
    return *arena;
}

#endif

}  // namespace

int Cores() {
    const int cores = tbb::info::default_concurrency();
    return cores > 0 ? cores : 1;
}

std::optional<int> ParseThreads(const std::string& text, std::string& error) {
    return ParseWholeNumber(text, 1, kMostThreads, error);
}

std::optional<int> ThreadsFromEnvironment(std::string& error) {
    const char* text = std::getenv("LUMARQ_THREADS");
    if (!text || !*text) return std::nullopt;
    std::string reason;
    const std::optional<int> threads = ParseThreads(text, reason);
    if (!threads) error = "LUMARQ_THREADS: " + reason;
    return threads;
}

int Threads() {
    if (const int chosen = chosenThreads.load(std::memory_order_relaxed); chosen > 0) return chosen;
    static const int fallback = [] {
        std::string ignored;  // the windowed program has nowhere to say it; it uses every core
        return ThreadsFromEnvironment(ignored).value_or(Cores());
    }();
    return fallback;
}

void SetThreads(int threads) { chosenThreads.store(threads > 0 ? threads : 0, std::memory_order_relaxed); }

#if !defined(LUMARQ_PLAIN_THREADS)

void RunOn(int threads, const std::function<void()>& body) {
    // An arena of one keeps the loops inside on this thread.
    ArenaFor(std::clamp(threads, 1, kMostThreads)).execute(body);
}

void ForEach(int count, const std::function<void(int)>& body) {
    tbb::parallel_for(tbb::blocked_range<int>(0, count, 1), [&](const tbb::blocked_range<int>& range) {
        for (int i = range.begin(); i != range.end(); ++i) body(i);
    });
}

#else

namespace {
thread_local int runningOn = 1;
}

void RunOn(int threads, const std::function<void()>& body) {
    const int saved = runningOn;
    runningOn = std::clamp(threads, 1, kMostThreads);
    body();
    runningOn = saved;
}

void ForEach(int count, const std::function<void(int)>& body) {
    std::atomic<int> next{0};
    const auto take = [&] {
        for (int i = next++; i < count; i = next++) body(i);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(runningOn, count); ++t) helpers.emplace_back(take);
    take();
    for (std::thread& helper : helpers) helper.join();
}

#endif

}  // namespace parallel
