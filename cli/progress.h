// A batch's progress bar on a terminal: how many inputs are done of how many, how
// many failed and about how long the rest will take, redrawn in place on stderr.
#pragma once

#include <chrono>
#include <cstddef>

class BatchProgress {
public:
    // Draws nothing when `shown` is false (stderr is not a terminal, or one input).
    BatchProgress(std::size_t total, bool shown);

    // Takes the bar off its line, so that a message can be printed there.
    void Clear() const;
    // One more input reported; draws the bar again.
    void Advance(bool failed);
    // Counts frames: the bar also says how many a second.
    void ShowFrameRate() { frameRate_ = true; }

private:
    void Draw() const;

    std::size_t total_, done_ = 0, failed_ = 0;
    bool shown_, frameRate_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
