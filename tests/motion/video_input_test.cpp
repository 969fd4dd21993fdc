// The video reader over short clips that the ffmpeg tool makes from its test
// pattern: frame counts, timestamps, upright sizes, and the first frame against
// ffmpeg's own decode (which turns by the display matrix as we must). Skips when
// ffmpeg is not installed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "motion/video_input.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void WriteAll(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The first frame as ffmpeg decodes it, rows of blue-green-red without padding.
std::vector<std::uint8_t> FfmpegFirstFrame(const fs::path& clip) {
    const fs::path raw = clip.string() + ".bgr";
    if (!Shell("ffmpeg -v error -y -i " + clip.string() + " -frames:v 1 -f rawvideo -pix_fmt bgr24 " + raw.string()))
        return {};
    return ReadAll(raw);
}

// Mean absolute difference per channel between a raster and packed rows, or -1
// when their sizes differ.
double MeanDifference(const TWin& image, const std::vector<std::uint8_t>& packed) {
    if (packed.size() != 3ull * image.Width() * image.Height()) return -1;
    double total = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < 3 * image.Width(); ++x)
            total += std::abs(image.PixelAddress(0, y)[x] - packed[3ull * image.Width() * y + x]);
    return total / static_cast<double>(packed.size());
}

// Rows mirrored left to right.
std::vector<std::uint8_t> Mirrored(const std::vector<std::uint8_t>& packed, int width) {
    std::vector<std::uint8_t> out(packed.size());
    for (std::size_t row = 0; row < packed.size() / (3ull * width); ++row)
        for (int x = 0; x < width; ++x)
            for (int i = 0; i < 3; ++i) out[(row * width + x) * 3 + i] = packed[(row * width + width - 1 - x) * 3 + i];
    return out;
}

// Sets an MP4's track matrix to a left-right mirror, as some cameras write it.
bool MirrorTrack(const fs::path& clip) {
    std::vector<std::uint8_t> bytes = ReadAll(clip);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t at = text.find("tkhd");
    if (at == std::string::npos || at + 48 > bytes.size() || bytes[at + 4] != 0) return false;
    // Version 0: the matrix starts 44 bytes after the box type; a = -1.0 in 16.16.
    bytes[at + 44] = 0xFF, bytes[at + 45] = 0xFF, bytes[at + 46] = 0, bytes[at + 47] = 0;
    WriteAll(clip, bytes);
    return true;
}

struct Clip {
    const char* name;
    std::string make;  // ffmpeg arguments after "ffmpeg -v error -y", in the clip's folder
    const char* file;
    int frames, width, height, rotation;
    bool audio, looksLikeVideo;
    std::vector<double> seconds;  // of every frame, when checked
    std::string error;            // how the message starts, when it fails
    enum Change { None, Mirror, CutInFrame, CutBetweenFrames } change = None;  // made to long.mp4 or the clip
    bool Mirrored() const { return change == Mirror; }
};

// The byte where the video's 10th frame ends, as ffprobe reads it.
std::size_t EndOfTenthFrame(const fs::path& clip) {
    const std::string command = "ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 " + clip.string();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return 0;
    long long size = 0, position = 0;
    for (int frame = 0; frame < 10 && std::fscanf(pipe, "%lld,%lld", &size, &position) == 2; ++frame) {
    }
    pclose(pipe);
    return static_cast<std::size_t>(position + size);
}

const std::string kPattern = "-f lavfi -i testsrc=size=";
const std::string kH264 = " -c:v libx264 -pix_fmt yuv420p ";

TEST(VideoInput, ClipsReadAsPlayersShowThem) {
    if (!Shell("ffmpeg -version") || !Shell("ffprobe -version")) GTEST_SKIP() << "ffmpeg is not installed";
    char folderName[] = "/tmp/lumarq_video_XXXXXX";
    ASSERT_NE(mkdtemp(folderName), nullptr);
    const fs::path folder = folderName;

    ASSERT_TRUE(Shell("cd " + folder.string() + " && ffmpeg -v error -y " + kPattern + "64x32:rate=10 -frames:v 5" + kH264 +
                    "-movflags +faststart plain.mp4"));
    // ffmpeg 5.1 stores rotate=90 as a display matrix turning 90 degrees counterclockwise
    // (ffprobe: rotation=90), that is 270 clockwise.
    const std::vector<Clip> clips = {
        {"plain", "", "plain.mp4", 5, 64, 32, 0, false, true, {0, 0.1, 0.2, 0.3, 0.4}, ""},
        {"turned", "-i plain.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4", "turned.mp4", 5, 32, 64, 270, false, true, {}, ""},
        {"mirrored", "-i plain.mp4 -c copy mirrored.mp4", "mirrored.mp4", 5, 64, 32, 0, false, true, {}, "", Clip::Mirror},
        {"variable rate",
         kPattern + "48x32:rate=10 -frames:v 6 -vf \"settb=1/1000,setpts='if(lt(N,3),N*100,300+(N-3)*300)'\" "
                    "-fps_mode passthrough -video_track_timescale 1000" + kH264 + "vfr.mp4",
         "vfr.mp4", 6, 48, 32, 0, false, true, {0, 0.1, 0.2, 0.3, 0.6, 0.9}, ""},
        {"with sound",
         kPattern + "32x32:rate=10 -f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.5" + kH264 + "-c:a aac sound.mp4",
         "sound.mp4", 5, 32, 32, 0, true, true, {}, ""},
        {"odd size", kPattern + "33x17:rate=10 -frames:v 4 -c:v libvpx-vp9 -pix_fmt yuv420p odd.webm", "odd.webm", 4, 33,
         17, 0, false, true, {}, ""},
        {"transport stream", kPattern + "32x24:rate=10 -frames:v 3" + kH264 + "clip.ts", "clip.ts", 3, 32, 24, 0, false,
         true, {0, 0.1, 0.2}, ""},
        {"animated GIF", kPattern + "40x24:rate=10 -frames:v 3 anim.gif", "anim.gif", 3, 40, 24, 0, false, false,
         {0, 0.1, 0.2}, ""},
        {"sound only", "-f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.3 -c:a aac only.m4a", "only.m4a", 0, 0, 0, 0,
         true, true, {}, "has no video stream"},
        {"cut short", kPattern + "64x48:rate=10 -frames:v 30" + kH264 + "-movflags +faststart long.mp4", "cut.mp4", 0, 64,
         48, 0, false, true, {}, "video is damaged or incomplete at frame ", Clip::CutInFrame},
        // Cut where a frame ends, the demuxer sees a clean end: the file's index tells.
        {"cut between frames", "", "cut10.mp4", 0, 64, 48, 0, false, true, {},
         "video is damaged or incomplete at frame 11 (", Clip::CutBetweenFrames},
        {"too wide", kPattern + "7688x16:rate=10 -frames:v 1" + kH264 + "wide.mp4", "wide.mp4", 0, 0, 0, 0, false, true,
         {}, "video is 7688 x 16 pixels; Lumarq reads videos of at most 7680 x 4320"},
        {"too long",
         kPattern + "16x16:rate=10 -frames:v 2 -vf \"setpts='N*90000/TB'\" -fps_mode passthrough" + kH264 + "long.mkv",
         "long.mkv", 0, 0, 0, 0, false, true, {}, "video lasts 25:00:00"},
        {"not a video", "", "text.mp4", 0, 0, 0, 0, false, false, {}, "is not a video Lumarq can read ("},
        {"still image", kPattern + "16x16 -frames:v 1 still.png", "still.png", 0, 0, 0, 0, false, false, {},
         "is a still image, not a video"},
    };
    std::ofstream(folder / "text.mp4") << "Just some words, nothing to play.\n";
    for (const Clip& clip : clips) {
        SCOPED_TRACE(clip.name);
        const fs::path path = folder / clip.file;
        if (!clip.make.empty()) {
            ASSERT_TRUE(Shell("cd " + folder.string() + " && ffmpeg -v error -y " + clip.make));
        }
        if (clip.change == Clip::Mirror) {
            ASSERT_TRUE(MirrorTrack(path));
        }
        if (clip.change == Clip::CutInFrame || clip.change == Clip::CutBetweenFrames) {
            std::vector<std::uint8_t> bytes = ReadAll(folder / "long.mp4");
            const std::size_t end =
                clip.change == Clip::CutInFrame ? bytes.size() * 2 / 3 : EndOfTenthFrame(folder / "long.mp4");
            ASSERT_TRUE(end > 0 && end < bytes.size());
            bytes.resize(end);
            WriteAll(path, bytes);
        }
        EXPECT_EQ(motion::LooksLikeVideo(path.string()), clip.looksLikeVideo);

        std::string message;
        std::vector<double> seconds;
        int otherPackets = 0;
        try {
            motion::VideoReader reader(path.string());
            const motion::VideoFacts& facts = reader.Facts();
            EXPECT_EQ(facts.width, clip.width);
            EXPECT_EQ(facts.height, clip.height);
            EXPECT_EQ(facts.rotation, clip.rotation);
            EXPECT_EQ(facts.mirrored, clip.Mirrored());
            EXPECT_EQ(facts.hasAudio, clip.audio);
            reader.SetOtherPackets([&](AVPacket&) { ++otherPackets; });
            motion::DecodedFrame frame;
            while (reader.ReadFrame(frame)) {
                EXPECT_EQ(frame.Number(), static_cast<std::int64_t>(seconds.size()));
                seconds.push_back(frame.Seconds());
                // Two threads convert the same frame at once; both get the same picture.
                TWin first(1, 1), second(1, 1);
                std::thread other([&] { reader.Convert(frame, second); });
                reader.Convert(frame, first);
                other.join();
                ASSERT_EQ(first.Width(), clip.width);
                ASSERT_EQ(first.Height(), clip.height);
                for (int y = 0; y < clip.height; ++y)
                    ASSERT_EQ(std::memcmp(first.PixelAddress(0, y), second.PixelAddress(0, y), 3 * clip.width), 0);
                if (frame.Number() != 0) continue;
                std::vector<std::uint8_t> expected = FfmpegFirstFrame(clip.Mirrored() ? folder / "plain.mp4" : path);
                if (clip.Mirrored()) expected = Mirrored(expected, clip.width);
                const double difference = MeanDifference(first, expected);
                EXPECT_GE(difference, 0) << "ffmpeg's first frame is of another size";
                EXPECT_LT(difference, 2.0) << "scalers may differ by rounding, not by a turn or a colour matrix";
            }
        } catch (const LoadError& error) {
            message = error.what();
        }
        if (!clip.error.empty()) {
            EXPECT_EQ(message.rfind(clip.error, 0), 0u) << message;
            continue;
        }
        EXPECT_EQ(message, "");
        EXPECT_EQ(static_cast<int>(seconds.size()), clip.frames);
        EXPECT_EQ(otherPackets > 0, clip.audio);
        for (std::size_t i = 0; i < clip.seconds.size() && i < seconds.size(); ++i)
            EXPECT_NEAR(seconds[i], clip.seconds[i], 0.002) << "frame " << i;
    }

    // Going on past damage: the good frames, then the damage as the end.
    motion::VideoReader reader((folder / "cut.mp4").string(), {.keepGoing = true});
    motion::DecodedFrame frame;
    int frames = 0;
    while (reader.ReadFrame(frame)) ++frames;
    EXPECT_GT(frames, 0) << reader.Damage();
    EXPECT_LT(frames, 30);
    EXPECT_EQ(reader.Damage().rfind("video is damaged or incomplete at frame " + std::to_string(frames + 1) + " (0:0", 0), 0u)
        << reader.Damage();

    // Images in ISO files are the image loader's.
    EXPECT_FALSE(motion::LooksLikeVideo(std::string(LUMARQ_TEST_DATA) + "/images/avif-alpha.avif"));

    TWin first(1, 1);
    motion::ReadFirstFrame((folder / "turned.mp4").string(), first);
    EXPECT_EQ(first.Width(), 32);
    EXPECT_EQ(first.Height(), 64);
    fs::remove_all(folder);
}

TEST(VideoInput, PositionsReadAsPlayersShowThem) {
    EXPECT_EQ(motion::VideoTime(0), "0:00.00");
    EXPECT_EQ(motion::VideoTime(1.48), "0:01.48");
    EXPECT_EQ(motion::VideoTime(3723.04), "1:02:03.04");
}

}  // namespace
