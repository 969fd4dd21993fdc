// lumarq-render with a video input, end to end: clips made by the ffmpeg tool
// (turned, variable rate, with AAC or PCM sound, odd-sized, cut short) through the
// effect, and the results read back by ffprobe and ffmpeg, not by our reader.
#include <cmath>
#include <cstdio>
#include <string>

#include "tests/cli/render_cli.h"

namespace {

// What a shell command prints on standard output.
std::string Shell(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
        ::pclose(pipe);
    }
    return text;
}

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") == 0; }

std::string Probe(const fs::path& file, const std::string& entries) {
    return Shell("ffprobe -v error -select_streams v:0 -show_entries " + entries + " -of csv=p=0 '" + file.string() + "'");
}

// Each frame's time in seconds; side data sections (an encoder's SEI) left out.
std::vector<double> FrameTimes(const fs::path& file) {
    std::istringstream text(Shell("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 '" +
                                  file.string() + "' | grep -Eo '^[0-9.]+'"));
    std::vector<double> times;
    for (double time; text >> time;) times.push_back(time);
    return times;
}

std::string SoundDigest(const fs::path& file) {
    return Shell("ffmpeg -v error -i '" + file.string() + "' -map 0:a -c copy -f md5 - 2>/dev/null");
}

// How long the first sound stream plays, decoded (an encoder's priming left out).
double SoundSeconds(const fs::path& file) {
    return std::stod("0" + Shell("ffmpeg -v error -i '" + file.string() + "' -map 0:a:0 -f s16le -ac 1 -ar 48000 - | wc -c")) / 96000;
}

// The first sound stream's mean volume in dB, as ffmpeg's volumedetect reports it.
double MeanVolume(const fs::path& file) {
    const std::string text = Shell("ffmpeg -v info -nostats -i '" + file.string() +
                                   "' -map 0:a:0 -af volumedetect -f null - 2>&1 | grep -o 'mean_volume: [-0-9.]*'");
    return text.size() > 13 ? std::stod(text.substr(13)) : 0;
}

// Peak signal-to-noise ratio of `b` against `a` over a's size, in dB.
double Psnr(const TWin& a, const TWin& b) {
    double squares = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width() * 3; ++x) {
            const double difference = double(a.PixelAddress(0, y)[x]) - double(b.PixelAddress(0, y)[x]);
            squares += difference * difference;
        }
    const double mean = squares / (3.0 * a.Width() * a.Height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

struct Clip {
    const char* name;
    std::string make;         // ffmpeg commands run in the test's folder
    std::string input, output, options;
    int scale;                // big enough that 4:2:0 keeps the pattern's cells
    int status;
    const char* size;         // the output's "width,height"
    bool sameTiming, sound;   // the input's frame timestamps, its sound packets
    const char* message;      // in stderr
    double psnr = 30;         // least dB of the first frame against the still's render
    const char* soundCodec = nullptr;  // the sound re-encoded into this codec, as long and as loud
    double shift = 0;  // seconds the muxer may move every frame by: WebM makes room for Opus's priming
};

TEST_F(RenderCli, VideoInputsKeepTimingSoundAndTurn) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are needed to make and read the clips";
    const std::string source = " -f lavfi -i testsrc2=size=64x48:rate=10";
    const std::string encode = " -c:v libx264 -pix_fmt yuv420p ";
    const std::string cut = " && head -c $(( $(stat -c %s full.mp4) * 9 / 10 )) full.mp4 > cut.mp4";
    const Clip clips[] = {
        {"turned with sound", "ffmpeg" + source + " -f lavfi -i sine=sample_rate=44100 -t 1" + encode +
             "-c:a aac -metadata creation_time=2020-01-02T03:04:05Z -metadata:s:a:0 language=fra plain.mp4"
             " && ffmpeg -i plain.mp4 -c copy -metadata:s:v:0 rotate=90 -metadata creation_time=2020-01-02T03:04:05Z turned.mp4",
         "turned.mp4", "out.mp4", "", 4, 0, "192,256", true, true, ""},
        {"variable rate", "ffmpeg" + source + " -t 1 -vf \"setpts=PTS+if(gte(N\\,5)\\,0.3/TB\\,0)\" -fps_mode vfr" +
             encode + "vfr.mkv",
         "vfr.mkv", "out.mov", "", 4, 0, "256,192", true, false, ""},
        {"odd size", "ffmpeg" + source + " -t 0.5 -vf scale=65:49 -c:v libx264 -pix_fmt yuv444p odd.mp4", "odd.mp4",
         "out.mkv", "", 3, 0, "196,148", true, false, "padded with black to 196 x 148",
         20},  // an odd scale puts cell edges inside 4:2:0's 2 x 2 colour blocks
        {"sound left out", "ffmpeg" + source + " -f lavfi -i sine -t 0.5" + encode + "-c:a aac s.mp4", "s.mp4",
         "out.mp4", "--no-audio", 4, 0, "256,192", true, false, ""},
        {"sound the container refuses", "ffmpeg" + source + " -f lavfi -i sine -t 0.5" + encode + "-c:a aac s.mp4",
         "s.mp4", "out.webm", "", 4, 0, "256,192", true, false,
         "out.webm: the sound (aac) cannot go into a webm file and is re-encoded as Opus", 25,  // VP9 at its default CRF 32
         "opus", 0.007},
        {"PCM sound into MP4", "ffmpeg" + source + " -f lavfi -i sine=sample_rate=22050 -t 1" + encode +
             "-c:a pcm_s16le -ac 2 pcm.mov",
         "pcm.mov", "out.mp4", "", 4, 0, "256,192", true, false,
         "out.mp4: the sound (pcm_s16le) cannot go into an mp4 file and is re-encoded as AAC", 30, "aac"},
        {"cut short", "ffmpeg" + source + " -t 2" + encode + "-movflags +faststart full.mp4" + cut, "cut.mp4",
         "out.mp4", "", 4, 1, "", false, false, "cut.mp4: video is damaged or incomplete at frame "},
        {"cut short, kept going", "ffmpeg" + source + " -t 2" + encode + "-movflags +faststart full.mp4" + cut,
         "cut.mp4", "out.mp4", "--keep-going", 4, 0, "256,192", false, false, "(--keep-going: the frames before it are written)"},
    };
    for (const Clip& clip : clips) {
        SCOPED_TRACE(clip.name);
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename() != "stdout" && entry.path().filename() != "stderr") fs::remove(entry.path());
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && (" + clip.make + ") >/dev/null 2>&1").c_str()), 0);
        const fs::path input = dir / clip.input, output = dir / clip.output;
        const Outcome outcome = Render("--pattern 48 --scale " + std::to_string(clip.scale) + " " + clip.options + " '" + input.string() + "' -o '" + output.string() + "'");
        EXPECT_EQ(outcome.status, clip.status) << outcome.err;
        EXPECT_NE(outcome.err.find(clip.message), std::string::npos) << outcome.err;
        if (clip.status != 0) {
            EXPECT_FALSE(fs::exists(output));
            continue;
        }
        EXPECT_EQ(Probe(output, "stream=width,height"), std::string(clip.size) + "\n");
        EXPECT_EQ(Shell("ffprobe -v error -show_streams '" + output.string() + "' | grep -ci rotat"), "0\n");
        const std::vector<double> times = FrameTimes(output);
        EXPECT_FALSE(times.empty());
        if (clip.sameTiming) {
            const std::vector<double> inputTimes = FrameTimes(input);
            ASSERT_EQ(times.size(), inputTimes.size());
            for (std::size_t i = 0; i < times.size(); ++i)
                EXPECT_NEAR(times[i], inputTimes[i] + clip.shift / 2, clip.shift / 2 + 1e-9) << "frame " << i;
        } else {  // the frames before the damage, in order
            EXPECT_GT(times.size(), 1u);
            EXPECT_LT(times.size(), 20u);
        }
        const bool inputHasSound = SoundDigest(input).find("MD5=") != std::string::npos;
        if (clip.sound) {
            EXPECT_NE(SoundDigest(input).find("MD5="), std::string::npos);
            EXPECT_EQ(SoundDigest(output), SoundDigest(input));
            EXPECT_NE(Shell("ffprobe -v error -show_entries format_tags=creation_time:stream_tags=language -of csv=p=0 '" +
                          output.string() + "'").find("fra"), std::string::npos);
            EXPECT_NE(Shell("ffprobe -v error -show_entries format_tags=creation_time -of csv=p=0 '" + output.string() + "'")
                          .find("2020-01-02T03:04:05"), std::string::npos);
        } else if (clip.soundCodec) {
            EXPECT_EQ(Shell("ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 '" +
                            output.string() + "'"), std::string(clip.soundCodec) + "\n");
            EXPECT_NEAR(SoundSeconds(output), SoundSeconds(input), 0.1);
            EXPECT_NEAR(MeanVolume(output), MeanVolume(input), 1.0);
            EXPECT_EQ(outcome.err.find(clip.message), outcome.err.rfind(clip.message)) << "said once";
        } else if (inputHasSound) {
            EXPECT_EQ(SoundDigest(output).find("MD5="), std::string::npos);
        }
        // The first frame against the still render of ffmpeg's own upright decoding of it.
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && ffmpeg -v error -i '" + input.string() +
                               "' -frames:v 1 in.png && ffmpeg -v error -i '" + output.string() + "' -frames:v 1 out.png")
                                  .c_str()),
                  0);
        ASSERT_EQ(Render("--pattern 48 --scale " + std::to_string(clip.scale) + " '" + (dir / "in.png").string() + "' -o '" + (dir / "still.bmp").string() + "'").status, 0);
        TWin expected(0, 0), got(0, 0);
        image_io::LoadImageFile((dir / "still.bmp").string(), expected);
        image_io::LoadImageFile((dir / "out.png").string(), got);
        ASSERT_GE(got.Width(), expected.Width());
        ASSERT_GE(got.Height(), expected.Height());
        EXPECT_GE(Psnr(expected, got), clip.psnr);
    }
}

}  // namespace

namespace {

// A range without --frames spreads over the video's own frames: a lossless clip of
// one picture gives, frame for frame, the stills of each frame's settings.
TEST_F(RenderCli, RangesSpreadOverAVideosFrames) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is needed to make the clip";
    const std::string picture = MakeImage("picture.bmp", 64, 48);
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && ffmpeg -v error -loop 1 -i picture.bmp -frames:v 5 -r 10 -c:v ffv1 -pix_fmt bgr0 clip.mkv")
                              .c_str()),
              0);
    fs::create_directories(dir / "frames");
    ASSERT_EQ(Render("--pattern 48 --x 0:-30 '" + (dir / "clip.mkv").string() + "' -o '" + (dir / "frames/%d.bmp").string() + "'").status, 0);
    const int x[] = {0, -8, -15, -23, -30};  // 0 + (-30 - 0) * i / 4, half away from zero
    for (int i = 0; i < 5; ++i) {
        const fs::path still = dir / ("still" + std::to_string(i) + ".bmp");
        ASSERT_EQ(Render("--pattern 48 --x " + std::to_string(x[i]) + " '" + picture + "' -o '" + still.string() + "'").status, 0);
        EXPECT_EQ(Slurp(dir / "frames" / (std::to_string(i) + ".bmp")), Slurp(still)) << "frame " << i;
    }
    EXPECT_FALSE(fs::exists(dir / "frames/5.bmp"));
    // On a terminal (script(1) gives one) the bar counts the frames and their rate.
    if (std::system("script -qc true /dev/null >/dev/null 2>&1") == 0) {
        const std::string command = "script -qc \"'" + std::string(LUMARQ_RENDER) + "' '" + (dir / "clip.mkv").string() +
                                    "' -o '" + (dir / "again.webp").string() + "'\" /dev/null >'" +
                                    (dir / "terminal").string() + "' </dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string terminal = Slurp(dir / "terminal");
        const std::size_t done = terminal.find("\r\x1b[K[####################] 5/5, ");
        ASSERT_NE(done, std::string::npos) << terminal;
        double rate = 0;
        char unit[4] = {};
        EXPECT_EQ(std::sscanf(terminal.c_str() + done + 32, "%lf %3s", &rate, unit), 2) << terminal;
        EXPECT_GT(rate, 0);
        EXPECT_STREQ(unit, "fps");
    }
}

}  // namespace
