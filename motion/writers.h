// The animation writers behind OpenAnimation, one per kind of output. Each opens
// what it needs at once, so that a name that cannot be written fails before any
// frame is rendered; `failure` then says why and nothing is returned.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "motion/animation_writer.h"

namespace motion::writers {

std::unique_ptr<AnimationWriter> OpenWebP(const std::string& path, const AnimationOptions& options,
                                          SaveResult& failure);
std::unique_ptr<AnimationWriter> OpenGif(const std::string& path, const AnimationOptions& options,
                                         SaveResult& failure);
std::unique_ptr<AnimationWriter> OpenVideo(const std::string& path, const AnimationOptions& options,
                                           SaveResult& failure, std::vector<std::string>& notes);
std::unique_ptr<AnimationWriter> OpenStills(const std::string& pattern, const AnimationOptions& options,
                                            SaveResult& failure);

// Success, or a failure for a frame whose size is not the one the writer was
// opened for.
SaveResult CheckFrameSize(const TWin& frame, const AnimationOptions& options);

}  // namespace motion::writers
