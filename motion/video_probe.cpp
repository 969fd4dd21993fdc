// Around the video reader: telling videos by their first bytes, the first frame
// for the windows, keeping the libraries' console quiet, and positions as text.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "image_io/image_file.h"
#include "motion/video_libav.h"

namespace motion {
namespace {

thread_local std::string lastLibraryError;

// The libraries' errors kept for our messages; everything else dropped.
void KeepErrors(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.')) text.pop_back();
    if (!text.empty()) lastLibraryError = std::move(text);
}

// Containers the image loader does not take, of video or sound, as libavformat's
// probe names them. A sound file then reads as having no video stream.
constexpr const char* kContainers[] = {"mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm", "avi", "flv", "mpegts", "mpeg",
                                       "ogg", "asf", "mxf", "nut", "ivf", "rm", "dv", "wav", "flac", "mp3"};

}  // namespace

void QuietVideoLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(KeepErrors);
    });
}

void ForgetLibraryError() { lastLibraryError.clear(); }

std::string LibraryError(int error) {
    char words[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, words, sizeof words);
    std::string text = words;
    if (!lastLibraryError.empty() && lastLibraryError != text) text += " (" + lastLibraryError + ")";
    lastLibraryError.clear();
    return text;
}

std::string VideoTime(double seconds) {
    if (!(seconds > 0)) seconds = 0;
    if (seconds > 1e9) seconds = 1e9;
    const long long hundredths = static_cast<long long>(seconds * 100 + 0.5);
    const long long whole = hundredths / 100, hours = whole / 3600, minutes = whole / 60 % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", hours, minutes, whole % 60, hundredths % 100);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", minutes, whole % 60, hundredths % 100);
    return text;
}

bool LooksLikeVideo(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::vector<std::uint8_t> head(4096 + AVPROBE_PADDING_SIZE, 0);
    file.read(reinterpret_cast<char*>(head.data()), 4096);
    const auto size = static_cast<std::size_t>(file.gcount());
    // An ISO file (MP4, MOV, HEIC, AVIF) is told by its brands, as the image loader tells it.
    if (size >= 8 && std::memcmp(head.data() + 4, "ftyp", 4) == 0) return image_io::IsVideoContainer(head.data(), size);
    if (image_io::IsVideoContainer(head.data(), size)) return true;
    QuietVideoLibraries();
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = head.data();
    probe.buf_size = static_cast<int>(size);
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    if (!format || score < AVPROBE_SCORE_MAX / 2) return false;
    for (const char* name : kContainers)
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

void ReadFirstFrame(const std::string& path, TWin& image) {
    VideoReader reader(path, {.keepGoing = false, .decoderThreads = 1});
    DecodedFrame frame;
    if (!reader.ReadFrame(frame)) throw LoadError("video has no frames");
    TWin upright(0, 0);
    reader.Convert(frame, upright);
    image.Swap(upright);
}

}  // namespace motion
