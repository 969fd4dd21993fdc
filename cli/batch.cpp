#include "cli/batch.h"

#include <mutex>
#include <vector>

#include "platform/threads/parallel.h"

void RunInInputOrder(int count, int jobs, const std::function<void(int)>& work, const std::function<void(int)>& report) {
    if (jobs <= 1 || count <= 1) {
        for (int i = 0; i < count; ++i) {
            work(i);
            report(i);
        }
        return;
    }
    // Whoever finishes an input reports it and every finished one after it, as
    // long as all before are reported; one reporter at a time.
    std::mutex mutex;
    std::vector<bool> done(static_cast<std::size_t>(count), false);
    int nextToReport = 0;
    parallel::RunOn(jobs, [&] {
        parallel::ForEach(count, [&](int i) {
            work(i);
            const std::lock_guard lock(mutex);
            done[static_cast<std::size_t>(i)] = true;
            while (nextToReport < count && done[static_cast<std::size_t>(nextToReport)]) report(nextToReport++);
        });
    });
}
