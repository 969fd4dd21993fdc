// lumarq-render --frames end to end: each sweep written as every kind of animation
// and read back by decoders that are not ours (Pillow for WebP and GIF, ffprobe for
// video), frame for frame against the stills of each frame's settings.
#include <fcntl.h>
#include <spawn.h>

#include <csignal>
#include <set>

#include "settings/sweep.h"
#include "tests/cli/render_cli.h"

namespace {

// Pillow's view of an animated WebP or GIF: "frames N", "loop L", "durations D...",
// and each frame's red-green-blue bytes in FOLDER/frame_I.rgb.
const char* const kReadWithPillow = R"(import sys
from PIL import Image
image = Image.open(sys.argv[1])
durations = []
for index in range(image.n_frames):
    image.seek(index)
    image.load()
    durations.append(image.info.get("duration", 0))
    open("%s/frame_%d.rgb" % (sys.argv[2], index), "wb").write(image.convert("RGB").tobytes())
print("frames", image.n_frames)
print("loop", image.info.get("loop", -1))
print("durations", *durations)
)";

std::vector<std::uint8_t> RedGreenBlue(const TWin& frame) {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            const std::uint8_t* pixel = frame.PixelAddress(x, y);
            bytes.insert(bytes.end(), {pixel[2], pixel[1], pixel[0]});
        }
    return bytes;
}

// The render of one frame's settings, each pixel a scale x scale block, as
// red-green-blue bytes.
std::vector<std::uint8_t> Rendered(const std::string& input, const RenderSettings& settings, int scale) {
    TWin source(0, 0);
    source.LoadFromFile(input);
    TWin frame(source.Width(), source.Height()), large(source.Width() * scale, source.Height() * scale);
    RenderPipeline(frame, source, settings);
    for (int y = 0; y < large.Height(); ++y)
        for (int x = 0; x < large.Width(); ++x) SetPixel(large, x, y, PixelAt(frame, x / scale, y / scale));
    return RedGreenBlue(large);
}

// The words of the line that starts with `key`.
std::string LineOf(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key + " ");
    return at == std::string::npos ? "" : text.substr(at + key.size() + 1, text.find('\n', at) - at - key.size() - 1);
}

}  // namespace

TEST_F(RenderCli, SweepsAreTheirFramesStillsInEveryAnimation) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0 || std::system("ffprobe -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Pillow for /usr/bin/python3 or ffprobe is missing";
    std::ofstream(dir / "read.py") << kReadWithPillow;
    const std::string input = MakeImage("in.bmp", 96, 64);
    const struct Row {
        std::string options;  // the sweep, as written on the command line
        Sweep sweep;          // the same
        int scale;
    } rows[] = {
        {"--pattern 48 --x 0:-60", {{48, 160, 255, 0, 0, 0, 0, 0}, {48, 160, 255, 0, 0, -60, 0, 0}, 2}, 1},
        {"--pattern 48 --x 0:-60", {{48, 160, 255, 0, 0, 0, 0, 0}, {48, 160, 255, 0, 0, -60, 0, 0}, 12}, 1},
        {"--pattern 33 --angle 0:90", {{33, 160, 255, 0, 0, 0, 0, 0}, {33, 160, 255, 0, 0, 0, 0, 90}, 2}, 1},
        {"--pattern 33 --angle 0:90", {{33, 160, 255, 0, 0, 0, 0, 0}, {33, 160, 255, 0, 0, 0, 0, 90}, 12}, 1},
        {"--pattern 40 --red 255:0 --blue 0:200", {{40, 160, 255, 0, 0, 0, 0, 0}, {40, 160, 0, 0, 200, 0, 0, 0}, 2}, 2},
        {"--pattern 40 --red 255:0 --blue 0:200", {{40, 160, 255, 0, 0, 0, 0, 0}, {40, 160, 0, 0, 200, 0, 0, 0}, 12}, 2},
    };
    for (const Row& row : rows) {
        const int frames = row.sweep.frames;
        const std::string sweep = row.options + " --frames " + std::to_string(frames) + " --scale " +
                                  std::to_string(row.scale) + " --fps 20 --loop 3 " + input + " -o ";
        const std::string name = row.options + ", " + std::to_string(frames) + " frames";
        std::vector<std::vector<std::uint8_t>> expected;
        std::set<std::uint32_t> colours;
        for (int i = 0; i < frames; ++i) {
            expected.push_back(Rendered(input, row.sweep.Frame(i), row.scale));
            const std::vector<std::uint8_t>& bytes = expected.back();
            for (std::size_t at = 0; at + 2 < bytes.size(); at += 3)
                colours.insert(std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16);
        }
        // Lossless WebP gives every byte back; a GIF too while the sweep has no more
        // colours than a palette holds. Both take 1/20 s a frame and play 3 times:
        // a GIF counts the times it plays again.
        for (const std::string kind : {"webp", "gif"}) {
            const std::string output = (dir / ("out." + kind)).string();
            const Outcome run = Render(sweep + output);
            ASSERT_EQ(run.status, 0) << name << " " << kind << ": " << run.err;
            fs::remove_all(dir / "frames");
            fs::create_directories(dir / "frames");
            const std::string read = "/usr/bin/python3 " + (dir / "read.py").string() + " " + output + " " +
                                     (dir / "frames").string() + " >" + (dir / "read.txt").string();
            ASSERT_EQ(std::system(read.c_str()), 0) << name << " " << kind;
            const std::string facts = Slurp(dir / "read.txt");
            ASSERT_EQ(LineOf(facts, "frames"), std::to_string(frames)) << name << " " << kind << "\n" << facts;
            EXPECT_EQ(LineOf(facts, "loop"), kind == "gif" ? "2" : "3") << name << " " << kind;
            std::string durations;
            for (int i = 0; i < frames; ++i) durations += i ? " 50" : "50";
            EXPECT_EQ(LineOf(facts, "durations"), durations) << name << " " << kind;
            if (kind == "gif" && colours.size() > 256) continue;
            for (int i = 0; i < frames; ++i) {
                const std::string bytes = Slurp(dir / "frames" / ("frame_" + std::to_string(i) + ".rgb"));
                EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected[i])
                    << name << " " << kind << " frame " << i;
            }
        }
        // A video: its frame count, rate and size.
        const std::string video = (dir / "out.mp4").string();
        const Outcome encoded = Render(sweep + video);
        ASSERT_EQ(encoded.status, 0) << name << ": " << encoded.err;
        const std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0 " + video + " >" +
                                  (dir / "probe.txt").string();
        ASSERT_EQ(std::system(probe.c_str()), 0);
        EXPECT_EQ(Slurp(dir / "probe.txt"), std::to_string(96 * row.scale) + "," + std::to_string(64 * row.scale) +
                                                 ",20/1," + std::to_string(frames) + "\n") << name;
        // Numbered stills: each the very file a still of that frame's settings is.
        fs::remove_all(dir / "stills");
        fs::create_directories(dir / "stills");
        const Outcome stills = Render(sweep + (dir / "stills" / "%03d.png").string());
        ASSERT_EQ(stills.status, 0) << name << ": " << stills.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "stills"), fs::directory_iterator()), frames) << name;
        for (int i = 0; i < frames; ++i) {
            std::string settings;
            const RenderSettings frame = row.sweep.Frame(i);
            for (const SettingDescription& setting : kSettings)
                settings += std::string(setting.option) + " " + std::to_string(frame.*setting.member) + " ";
            const std::string still = (dir / "still.png").string();
            ASSERT_EQ(Render(settings + "--scale " + std::to_string(row.scale) + " " + input + " -o " + still).status, 0);
            char number[16];
            std::snprintf(number, sizeof number, "%03d", i);
            EXPECT_EQ(Slurp(dir / "stills" / (std::string(number) + ".png")), Slurp(still)) << name << " frame " << i;
        }
    }
}

// Ctrl+C stops an animation or a video export between frames: exit status 130 and
// nothing written, not even a part of the output beside it.
TEST_F(RenderCli, InterruptedAnimationLeavesNothing) {
    const std::string still = MakeImage("in.bmp", 320, 240);
    const std::string clip = (dir / "in.mp4").string();
    const bool haveClip = std::system(("command -v ffmpeg >/dev/null 2>&1 && ffmpeg -v error -f lavfi -i "
                                       "color=c=gray:size=160x120:rate=25 -t 40 -c:v libx264 -preset ultrafast '" +
                                       clip + "'").c_str()) == 0;
    struct Row {
        std::vector<std::string> words;
        std::string output;
    };
    const Row rows[] = {
        {{"--x", "0:-600", "--frames", "100000", still}, "long.webp"},
        {{"--scale", "8", clip}, "long.mp4"},  // a thousand frames, each 1280 x 960
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.output);
        if (row.words.back() == clip && !haveClip) continue;  // no ffmpeg to make the clip
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        const std::string output = (dir / "out" / row.output).string();
        const std::string errors = (dir / "stderr").string();
        std::vector<std::string> words = row.words;
        words.insert(words.begin(), LUMARQ_RENDER);
        words.insert(words.end(), {"-o", output});
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, LUMARQ_RENDER, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // Once frames are being written, well before the last.
        for (int wait = 0; wait < 100 && Slurp(output).empty() && fs::is_empty(dir / "out"); ++wait) ::usleep(20000);
        ::usleep(200000);
        ::kill(child, SIGINT);
        int raw = 0;
        ::waitpid(child, &raw, 0);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 130) << Slurp(errors);
        EXPECT_EQ(Slurp(errors), "lumarq-render: " + output + ": Cancelled (nothing written)\n");
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
}
