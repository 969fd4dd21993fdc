// What the video reader's files share about FFmpeg's libraries: their error texts
// and the pool of scalers. Internal to motion.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include <mutex>
#include <string>
#include <vector>

#include "motion/video_input.h"

namespace motion {

// The libraries' words for `error` ("Invalid data found when processing input"),
// followed by the last error they logged on this thread, if any, in brackets.
std::string LibraryError(int error);
// Forgets the error last logged on this thread, before a call whose failure
// LibraryError will describe.
void ForgetLibraryError();

// Scalers no conversion is using, for the next one to take; each conversion
// holds its own while it runs.
struct VideoReader::Scalers {
    std::mutex lock;
    std::vector<SwsContext*> idle;
    ~Scalers() {
        for (SwsContext* scaler : idle) sws_freeContext(scaler);
    }
};

}  // namespace motion
