// How many threads the render runs on, and running work on that many.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace parallel {

// The largest thread count accepted anywhere.
inline constexpr int kMostThreads = 256;

// Below this many pixels, work on an image stays on the calling thread: handing
// it out would cost more than it saves.
inline constexpr long long kFewestPixelsToShare = 1 << 18;

// The thread count renders use unless told otherwise: the one SetThreads gave,
// else LUMARQ_THREADS when it holds a valid count, else every core.
int Threads();
void SetThreads(int threads);  // 0: back to LUMARQ_THREADS or every core

// The processor's cores, as the system reports them (at least 1).
int Cores();

// A thread count from text, 1..kMostThreads; the reason when it is not one.
std::optional<int> ParseThreads(const std::string& text, std::string& error);
// LUMARQ_THREADS: nothing when unset or empty; `error` names a value that is no count.
std::optional<int> ThreadsFromEnvironment(std::string& error);

// Runs body with `threads` threads available to the parallel loops inside it
// (the calling thread one of them). Above the core count, threads are still made
// available, so that tests can run more threads than cores.
void RunOn(int threads, const std::function<void()>& body);

// Calls body(i) for i in 0..count - 1, each on whichever thread of the current
// RunOn is free; returns when all are done.
void ForEach(int count, const std::function<void(int)>& body);

}  // namespace parallel
