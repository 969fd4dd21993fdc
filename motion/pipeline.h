// The three stages every export runs on oneTBB: a serial source handing out frames
// in order, the renders side by side, and a serial writer taking them in order.
// Internal to motion/.
#pragma once

#include <oneapi/tbb/parallel_pipeline.h>

#include <algorithm>
#include <cstddef>

#include "platform/threads/parallel.h"

namespace motion::pipeline {

// Frames in flight: enough for every thread and the writer to be busy, few enough
// to bound memory on a machine of many cores.
inline int Tokens(int threads) { return std::min(6, std::max(2, threads) + 1); }

// Runs run.Next (serial), run.Render (parallel) and run.Write (serial) on `threads`
// threads with `tokens` items in flight. Item is what Next hands on.
template <typename Item, typename Run>
void RunStages(Run& run, int threads, int tokens) {
    parallel::RunOn(threads, [&] {
        tbb::parallel_pipeline(
            static_cast<std::size_t>(tokens),
            tbb::make_filter<void, Item>(tbb::filter_mode::serial_in_order,
                                         [&](tbb::flow_control& control) { return run.Next(control); }) &
                tbb::make_filter<Item, Item>(tbb::filter_mode::parallel, [&](Item item) { return run.Render(item); }) &
                tbb::make_filter<Item, void>(tbb::filter_mode::serial_in_order, [&](Item item) { run.Write(item); }));
    });
}

}  // namespace motion::pipeline
