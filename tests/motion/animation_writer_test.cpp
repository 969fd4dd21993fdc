// The animation writers, read back by decoders that are not ours: Pillow for WebP
// and GIF, ffprobe and ffmpeg for video, the still loader for numbered stills.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "image_io/image_file.h"
#include "motion/animation_writer.h"

namespace fs = std::filesystem;
using motion::AnimationOptions;
using motion::AnimationWriter;

namespace {

// A folder for one case, removed with everything in it afterwards.
struct Folder {
    fs::path path;
    Folder() {
        std::string name = (fs::temp_directory_path() / "lumarq-motion-XXXXXX").string();
        path = ::mkdtemp(name.data()) ? name : "";
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

enum class Look {
    Few,    // a dark field, a fixed line and a block moving one step a frame in pure blue, green or red
    Held,   // Few with every picture shown for two frames
    Many,   // colour ramps shifting with the frame: far more than 256 colours
    Noise,  // colours that do not compress
    Bands,  // Few over three bands of pure red, green and blue: a wrong colour matrix shows in them
};

std::unique_ptr<TWin> MakeFrame(int width, int height, int i, Look look) {
    auto frame = std::make_unique<TWin>(width, height);
    const int step = look == Look::Held ? i / 2 : i;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = frame->PixelAddress(x, y);  // blue, green, red
            std::uint32_t c = 0x5a3c1e;
            if (look == Look::Many) {
                c = (x * 6 + i * 4) << 16 | (y * 10) << 8 | ((x + y) * 3 + i);
            } else if (look == Look::Noise) {
                std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(i) * 83492791u;
                h ^= h >> 13, h *= 0x5bd1e995u, h ^= h >> 15;
                c = h >> 8;
            } else {
                if (look == Look::Bands) c = 0xff0000u >> (8 * (3 * x / width));
                const int left = (step * 3) % (width - 7), top = (step * 2) % (height - 5);
                if (x >= left && x < left + 7 && y >= top && y < top + 5) c = 0xffu << (8 * (step % 3));
                if (x == 2) c = 0xc86432;
            }
            p[0] = c & 0xff, p[1] = (c >> 8) & 0xff, p[2] = (c >> 16) & 0xff;
        }
    return frame;
}

// Mean difference per channel between a frame and decoded red-green-blue rows of
// `width` pixels (the decoded picture may be larger: a video's padding).
double MeanDifference(const TWin& frame, const std::string& rgb, int width) {
    double total = 0;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = 3 * (std::size_t(y) * width + x) + c;
                if (at >= rgb.size()) return 1e9;
                total += std::abs(frame.PixelAddress(x, y)[2 - c] - static_cast<std::uint8_t>(rgb[at]));
            }
    return total / (3.0 * frame.Width() * frame.Height());
}

// The mean difference per channel where the frame is flat (a pixel and the 5 x 5
// around it of one colour), away from the blur of edges that 4:2:0 and lossy
// coding bring: a wrong colour matrix shows there.
double FlatDifference(const TWin& frame, const std::string& rgb, int width) {
    double total = 0;
    int counted = 0;
    for (int y = 2; y + 2 < frame.Height(); ++y)
        for (int x = 2; x + 2 < frame.Width(); ++x) {
            bool flat = true;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    flat = flat && std::memcmp(frame.PixelAddress(x, y), frame.PixelAddress(x + dx, y + dy), 3) == 0;
            if (!flat) continue;
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = 3 * (std::size_t(y) * width + x) + c;
                if (at >= rgb.size()) return 1e9;
                total += std::abs(frame.PixelAddress(x, y)[2 - c] - static_cast<std::uint8_t>(rgb[at]));
            }
            ++counted;
        }
    return counted ? total / (3.0 * counted) : 1e9;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool DecodersPresent() {
    return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0 &&
           std::system("ffprobe -version >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// The checker's "key value..." lines.
std::map<std::string, std::string> ReadAnimation(const fs::path& file, const fs::path& folder) {
    const std::string command = std::string("/usr/bin/python3 ") + LUMARQ_TEST_SCRIPTS "/read_animation.py '" +
                                file.string() + "' '" + folder.string() + "'";
    std::map<std::string, std::string> facts;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return facts;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const std::size_t space = text.find(' ');
        facts[text.substr(0, space)] = space == std::string::npos ? "" : text.substr(space + 1);
    }
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return facts;
}

std::string Joined(const std::vector<int>& values) {
    std::string text;
    for (int value : values) {
        if (!text.empty()) text += ' ';
        text += std::to_string(value);
    }
    return text;
}

struct WriteCase {
    const char* name;
    Look look;
    int width, height, frames, fps, loop, quality;
    bool dither;
    // The largest mean difference per channel in each decoded frame (0: exact); for
    // video, in the first frame's flat parts.
    double tolerance;
    // WebP and GIF: the loop count in the file (-1: none) and each frame's duration in ms.
    int loopRead;
    std::vector<int> durations;
    // Video: the codec, the coded size and the rate.
    const char* codec = nullptr;
    int codedWidth = 0, codedHeight = 0;
};

const std::vector<int> k40(12, 40), k50(12, 50);
const WriteCase kWriteCases[] = {
    {"lossless.webp", Look::Few, 37, 23, 12, 25, 0, 0, false, 0, 0, k40},
    {"lossy.webp", Look::Few, 37, 23, 2, 30, 3, 75, false, 8, 3, {33, 34}},
    {"exact.gif", Look::Held, 37, 23, 12, 30, 0, 0, false, 0, 0, {30, 40, 30, 30, 40, 30, 30, 40, 30, 30, 40, 30}},
    {"quantized.gif", Look::Many, 37, 23, 12, 20, 2, 0, false, 5, 1, k50},
    {"dithered.gif", Look::Many, 37, 23, 2, 50, 1, 0, true, 6, -1, {20, 20}},
    // Mapped in two bands; many more colours than 256, 9.9 also when mapped whole.
    {"banded.gif", Look::Many, 700, 400, 2, 25, 0, 0, false, 11, 0, {40, 40}},
    {"odd.mp4", Look::Bands, 37, 23, 12, 30, 0, 0, false, 5, 0, {}, "h264", 38, 24},
    {"clip.mkv", Look::Bands, 36, 23, 2, 24, 0, 60, false, 5, 0, {}, "h264", 36, 24},
    {"clip.webm", Look::Bands, 36, 24, 12, 25, 0, 0, false, 5, 0, {}, "vp9", 36, 24},
    {"still_%03d.png", Look::Few, 37, 23, 12, 25, 0, 0, false, 0, 0, {}},
    {"still_%d%%.bmp", Look::Few, 37, 23, 2, 25, 0, 0, false, 0, 0, {}},
};

TEST(AnimationWriter, WritesWhatOtherDecodersRead) {
    if (!DecodersPresent()) GTEST_SKIP() << "/usr/bin/python3 with Pillow, ffprobe and ffmpeg are needed";
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.name);
        Folder folder, decoded;
        const fs::path file = folder.path / c.name;
        AnimationOptions options{c.width, c.height, c.frames, c.fps, c.loop, c.quality, c.dither};
        SaveResult result;
        std::vector<std::string> notes;
        std::unique_ptr<AnimationWriter> writer = motion::OpenAnimation(file.string(), options, result, notes);
        ASSERT_TRUE(writer) << result.Message();
        for (int i = 0; i < c.frames && result; ++i) result = writer->Add(*MakeFrame(c.width, c.height, i, c.look));
        if (result) result = writer->Finish();
        writer.reset();
        ASSERT_TRUE(result) << result.Message();
        const bool padded = c.codec && (c.width % 2 || c.height % 2);
        ASSERT_EQ(notes.size(), padded ? 1u : 0u);
        if (padded) {
            EXPECT_NE(notes[0].find("padded"), std::string::npos) << notes[0];
        }

        if (motion::OutputKindFor(c.name) == motion::OutputKind::NumberedStills) {
            EXPECT_EQ(folder.Entries().size(), std::size_t(c.frames));
            for (int i = 0; i < c.frames; ++i) {
                TWin still(1, 1);
                image_io::LoadImageFile(motion::NumberedName(file.string(), i), still);
                const auto frame = MakeFrame(c.width, c.height, i, c.look);
                ASSERT_EQ(still.Width(), c.width);
                ASSERT_EQ(still.Height(), c.height);
                for (int y = 0; y < c.height; ++y)
                    ASSERT_EQ(std::memcmp(still.PixelAddress(0, y), frame->PixelAddress(0, y), 3 * c.width), 0)
                        << "frame " << i << " row " << y;
            }
            continue;
        }
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{c.name});  // no temporary left beside it
        const std::map<std::string, std::string> facts = ReadAnimation(file, decoded.path);
        const auto fact = [&](const char* key) { return facts.count(key) ? facts.at(key) : "(none)"; };
        if (c.codec) {
            EXPECT_EQ(fact("codec_name"), c.codec);
            EXPECT_EQ(fact("width"), std::to_string(c.codedWidth));
            EXPECT_EQ(fact("height"), std::to_string(c.codedHeight));
            EXPECT_EQ(fact("pix_fmt"), "yuv420p");
            EXPECT_EQ(fact("r_frame_rate"), std::to_string(c.fps) + "/1");
            EXPECT_EQ(fact("nb_read_frames"), std::to_string(c.frames));
            EXPECT_EQ(fact("color_range"), "tv");
            EXPECT_EQ(fact("color_space"), "bt709");
            EXPECT_EQ(fact("color_primaries"), "bt709");
            EXPECT_EQ(fact("color_transfer"), "bt709");
            const std::string rgb = ReadAll(decoded.path / "frame_0.rgb");
            EXPECT_EQ(rgb.size(), 3u * c.codedWidth * c.codedHeight);
            EXPECT_LE(FlatDifference(*MakeFrame(c.width, c.height, 0, c.look), rgb, c.codedWidth), c.tolerance);
            continue;
        }
        EXPECT_EQ(fact("size"), std::to_string(c.width) + " " + std::to_string(c.height));
        EXPECT_EQ(fact("frames"), std::to_string(c.frames));
        EXPECT_EQ(fact("loop"), std::to_string(c.loopRead));
        EXPECT_EQ(fact("durations"), Joined(c.durations));
        for (int i = 0; i < c.frames; ++i) {
            const std::string rgb = ReadAll(decoded.path / ("frame_" + std::to_string(i) + ".rgb"));
            EXPECT_LE(MeanDifference(*MakeFrame(c.width, c.height, i, c.look), rgb, c.width), c.tolerance)
                << "frame " << i;
        }
    }
}

enum class Trouble {
    MissingFolder,  // the output's folder does not exist
    Dropped,        // the writer is destroyed before Finish: a failure elsewhere, Cancel
    FileSizeLimit,  // writes fail part way, as on a full disk
    Refused,        // OpenAnimation says no
};

struct FailureCase {
    const char* name;
    Trouble trouble;
    int fps;
    const char* error;  // "%s" stands for the output's path
    const char* reason;
};

const FailureCase kFailureCases[] = {
    {"missing/a.webp", Trouble::MissingFolder, 25, "Cannot create file %s", "No such file or directory"},
    {"missing/a.gif", Trouble::MissingFolder, 25, "Cannot create file %s", "No such file or directory"},
    {"missing/a.mp4", Trouble::MissingFolder, 25, "Cannot create file %s", "No such file or directory"},
    {"missing/%02d.png", Trouble::MissingFolder, 25, "Cannot create file %s", "No such file or directory"},
    {"a.webp", Trouble::Dropped, 25, "", ""},
    {"a.gif", Trouble::Dropped, 25, "", ""},
    {"a.mp4", Trouble::Dropped, 25, "", ""},
    {"%02d.png", Trouble::Dropped, 25, "", ""},
    {"a.webp", Trouble::FileSizeLimit, 25, "Stream write error", "File too large"},
    {"a.gif", Trouble::FileSizeLimit, 25, "Stream write error", "File too large"},
    {"a.mkv", Trouble::FileSizeLimit, 25, "Stream write error", "File too large"},
    {"%02d.bmp", Trouble::FileSizeLimit, 25, "Stream write error", "File too large"},
    {"a.gif", Trouble::Refused, 60, "GIF frame delays are in hundredths of a second: --fps can be at most 50 for a GIF",
     ""},
    {"a.png", Trouble::Refused, 25,
     "A .png file cannot hold an animation: name a .webp, .gif, .mp4, .mov, .webm or .mkv file, or numbered stills such as "
     "frames/%04d.png",
     ""},
};

// Writes to regular files fail with EFBIG past `bytes` while it lives.
struct FileSizeLimit {
    rlimit before{};
    void (*handler)(int);
    explicit FileSizeLimit(rlim_t bytes) : handler(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &before);
        const rlimit limit{bytes, before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before);
        ::signal(SIGXFSZ, handler);
    }
};

TEST(AnimationWriter, LeavesNothingBehindWhenItFails) {
    const int width = 96, height = 64, frames = 3;
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(std::string(c.name) + " trouble " + std::to_string(static_cast<int>(c.trouble)));
        Folder folder;
        const std::string path = (folder.path / c.name).string();
        const bool numbered = motion::OutputKindFor(c.name) == motion::OutputKind::NumberedStills;
        if (!numbered && c.trouble != Trouble::MissingFolder) std::ofstream(path) << "old";
        const std::vector<std::string> before = folder.Entries();

        AnimationOptions options{width, height, frames, c.fps, 0, 0, false};
        SaveResult result;
        std::vector<std::string> notes;
        std::unique_ptr<AnimationWriter> writer = motion::OpenAnimation(path, options, result, notes);
        {
            std::optional<FileSizeLimit> limit;
            if (c.trouble == Trouble::FileSizeLimit) limit.emplace(4096);
            for (int i = 0; i < frames && writer && result; ++i)
                result = writer->Add(*MakeFrame(width, height, i, Look::Noise));
            if (writer && result && c.trouble != Trouble::Dropped) result = writer->Finish();
            writer.reset();
        }
        EXPECT_EQ(folder.Entries(), before);
        if (!numbered && c.trouble != Trouble::MissingFolder) {
            EXPECT_TRUE(ReadAll(path) == "old") << "the file in place was changed";
        }
        if (c.trouble == Trouble::Dropped) continue;
        EXPECT_FALSE(result);
        std::string error = c.error;
        if (const std::size_t at = error.find("%s"); at != std::string::npos && c.trouble != Trouble::Refused)
            error.replace(at, 2, motion::NumberedName(path, 0));
        EXPECT_EQ(result.error, error);
        EXPECT_EQ(result.reason, c.reason);
    }
}

TEST(AnimationWriter, KindAndNumberedNameComeFromTheName) {
    const struct {
        const char* name;
        motion::OutputKind kind;
        const char* seventh;  // NumberedName(name, 7)
    } cases[] = {
        {"frames/%04d.png", motion::OutputKind::NumberedStills, "frames/0007.png"},
        {"f%3d.GIF", motion::OutputKind::NumberedStills, "f  7.GIF"},
        {"100%%_%d.jpg", motion::OutputKind::NumberedStills, "100%_7.jpg"},
        {"%d", motion::OutputKind::NumberedStills, "7"},
        {"a%d%d.png", motion::OutputKind::Still, "a%d%d.png"},
        {"a%s.png", motion::OutputKind::Still, "a%s.png"},
        {"a%123d.png", motion::OutputKind::Still, "a%123d.png"},
        {"50%.gif", motion::OutputKind::Gif, "50%.gif"},
        {"dir.webp/x.WebP", motion::OutputKind::WebP, "dir.webp/x.WebP"},
        {"a.MP4", motion::OutputKind::Video, "a.MP4"},
        {"a.webm", motion::OutputKind::Video, "a.webm"},
        {"a.mkv", motion::OutputKind::Video, "a.mkv"},
        {"a.gif.png", motion::OutputKind::Still, "a.gif.png"},
        {"dir.gif/noextension", motion::OutputKind::Still, "dir.gif/noextension"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(motion::OutputKindFor(c.name), c.kind) << c.name;
        EXPECT_EQ(motion::NumberedName(c.name, 7), c.seventh) << c.name;
    }
}

}  // namespace
