#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

BatchProgress::BatchProgress(std::size_t total, bool shown) : total_(total), shown_(shown) { Draw(); }

void BatchProgress::Clear() const {
    if (shown_) std::cerr << "\r\x1b[K" << std::flush;
}

void BatchProgress::Advance(bool failed) {
    ++done_;
    failed_ += failed;
    Draw();
}

void BatchProgress::Draw() const {
    if (!shown_) return;
    constexpr std::size_t kWidth = 20;
    const std::size_t filled = total_ ? std::min(kWidth, done_ * kWidth / total_) : kWidth;
    std::string line = "\r\x1b[K[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "] " +
                       std::to_string(done_) + "/" + std::to_string(total_);
    if (failed_) line += ", " + std::to_string(failed_) + " failed";
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (frameRate_ && done_ > 0 && elapsed > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.1f fps", static_cast<double>(done_) / elapsed);
        line += rate;
    }
    if (done_ > 0 && done_ < total_) {
        // The inputs so far are the best guess at the rest.
        const long left = static_cast<long>(elapsed / static_cast<double>(done_) * static_cast<double>(total_ - done_) + 0.5);
        char time[48];
        if (left >= 3600)
            std::snprintf(time, sizeof time, ", %ld:%02ld:%02ld left", left / 3600, left / 60 % 60, left % 60);
        else
            std::snprintf(time, sizeof time, ", %ld:%02ld left", left / 60, left % 60);
        line += time;
    }
    std::cerr << line << std::flush;
}
