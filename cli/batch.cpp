#include "cli/batch.h"

#include <oneapi/tbb/parallel_pipeline.h>

#include "platform/threads/parallel.h"

void RunInInputOrder(int count, int jobs, const std::function<void(int)>& work, const std::function<void(int)>& report) {
    if (jobs <= 1 || count <= 1) {
        for (int i = 0; i < count; ++i) {
            work(i);
            report(i);
        }
        return;
    }
    parallel::RunOn(parallel::Threads(), [&] {
        int next = 0;
        tbb::parallel_pipeline(
            static_cast<std::size_t>(jobs),
            tbb::make_filter<void, int>(tbb::filter_mode::serial_in_order,
                                        [&](tbb::flow_control& control) {
                                            if (next == count) control.stop();
                                            return next++;
                                        }) &
                tbb::make_filter<int, int>(tbb::filter_mode::parallel,
                                           [&](int i) {
                                               work(i);
                                               return i;
                                           }) &
                tbb::make_filter<int, void>(tbb::filter_mode::serial_in_order, [&](int i) { report(i); }));
    });
}
