// Runs the real lumarq-render executable the way a script would: options, the
// render, settings files.
#include "tests/cli/render_cli.h"

TEST_F(RenderCli, UsageErrorsNameTheOptionAndItsRange) {
    const std::string input = MakeImage("in.bmp");
    const struct {
        std::string arguments, expected;
    } cases[] = {
        {"--pattern 66 " + input + " -o x.bmp", "--pattern: 66 is out of range (0..65)"},
        {"--x -1501 " + input + " -o x.bmp", "--x: -1501 is out of range (-1500..1500)"},
        {"--angle 12.5 " + input + " -o x.bmp", "--angle: '12.5' is not a whole number (0..360)"},
        {"--detector 99999999999999999999 " + input + " -o x.bmp", "out of range (0..255)"},
        {"--blue " + input + " -o x.bmp", "is not a whole number (0..255)"},
        {input + " -o x.bmp --red", "--red needs a value (0..255)"},
        {"--bogus " + input + " -o x.bmp", "unknown option --bogus"},
        {input, "no output given"},
        {"-o x.bmp", "no input file"},
        {input + " " + input + " -o " + (dir / "notadir.bmp").string(), "several inputs need -o"},
        {"--convert --pattern 3 " + input + " -o x.bmp", "--convert"},
        {"--convert --repeat 2 " + input + " -o x.bmp", "--convert renders nothing"},
        {"-o y.bmp " + input + " -o x.bmp", "-o is given twice"},
        {"--format gif " + input + " -o " + dir.string(), "--format gif writes animations from video inputs, and the inputs are not all videos"},
        {"--format png " + input + " -o " + (dir / "x.png").string(), "--format names the type of files written into a directory"},
        {"--quality 0 " + input + " -o x.jpg", "--quality: 0 is out of range (1..100)"},
        {"--threads 0 " + input + " -o x.bmp", "--threads: 0 is out of range (1..256)"},
        {"-j x " + input + " -o x.bmp", "--jobs: 'x' is not a whole number (1..256)"},
        {"LUMARQ_THREADS=lots", "LUMARQ_THREADS: 'lots' is not a whole number (1..256)"},
        // Ranges and animations.
        {"--x -5:-600 " + input + " -o x.webp", "--x -5:-600 is a range: it needs --frames N"},
        {"--frames 3 --x 0:-1501 " + input + " -o x.webp", "--x: -1501 is out of range (-1500..1500)"},
        {"--frames 3 --red 256:0 " + input + " -o x.webp", "--red: 256 is out of range (0..255)"},
        {"--frames 3 --angle 0: " + input + " -o x.webp", "--angle: '' is not a whole number (0..360)"},
        {"--frames 1 --x 0:9 " + input + " -o x.webp", "--frames: 1 is out of range (2..100000)"},
        {"--frames 100001 --x 0:9 " + input + " -o x.webp", "--frames: 100001 is out of range (2..100000)"},
        {"--frames 3 --fps 0 --x 0:9 " + input + " -o x.webp", "--fps: 0 is out of range (1..120)"},
        {"--frames 3 --scale 9 " + input + " -o x.webp", "--scale: 9 is out of range (1..8)"},
        {"--frames 3 --loop -1 " + input + " -o x.webp", "--loop: -1 is out of range (0..65535)"},
        {"--fps 30 " + input + " -o x.bmp", "--fps shapes an animation: it needs --frames N"},
        {"--frames 3 --x 0:9 " + input + " -o x.BMP", "--frames needs an output that holds an animation: 'x.BMP' does not"},
        {"--frames 3 --fps 51 --x 0:9 " + input + " -o x.gif",
         "--fps 51: GIF frame delays are in hundredths of a second: a .gif plays at most 50 frames a second"},
        {"--frames 3 --x 0:9 " + input + " " + input + " -o " + dir.string(), "--frames renders one input into one animation"},
        {"--frames 3 --x 0:9 " + input + " -o " + dir.string(), "--frames writes one animation: -o names a file, not the directory"},
        {"--frames 3 --x 0:9 --format png " + input + " -o -", "--frames writes an animation to a file; -o - cannot hold one"},
        {"--convert --frames 3 " + input + " -o x.webp", "--frames renders an animation; --convert renders nothing"},
    };
    for (const auto& c : cases) {
        // The variable is read only where --threads does not say.
        const Outcome run = c.arguments.rfind("LUMARQ", 0) == 0 ? Render(input + " -o x.bmp", c.arguments) : Render(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.err.find("lumarq-render: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.arguments << " -> " << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "notadir.bmp"));

    // Every option at both ends of its range is accepted, a leading plus sign too.
    const std::string output = (dir / "edge.bmp").string();
    for (const char* ends : {"--pattern 0 --detector 0 --red 0 --green 0 --blue 0 --x -1500 --y -1500 --angle 0",
                             "--pattern 65 --detector +255 --red 255 --green 255 --blue 255 --x 1500 --y 1500 --angle 360"}) {
        const Outcome run = Render(std::string(ends) + " " + input + " -o " + output);
        EXPECT_EQ(run.status, 0) << ends << " -> " << run.err;
    }
    // A result that cannot be written is a failure, said as such.
    const std::string nowhere = (dir / "no" / "such" / "out.bmp").string();
    const Outcome unsaved = Render(input + " -o " + nowhere);
    EXPECT_EQ(unsaved.status, 1);
    EXPECT_EQ(unsaved.err, "lumarq-render: " + nowhere + ": Cannot create file " + nowhere + " (No such file or directory)\n");

    const Outcome help = Render("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--pattern N    0..65     (default 13)"), std::string::npos);
    const Outcome version = Render("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("lumarq-render ", 0), 0u);
    EXPECT_NE(version.out.find("\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"),
              std::string::npos);
}

// The eight setting options come from the settings table: --help states each one's
// range and default, and each takes exactly its range, landing in its own key.
TEST_F(RenderCli, SettingOptionsAreTheTablesOwn) {
    const Outcome help = Render("--help");
    ASSERT_EQ(help.status, 0);
    for (const SettingDescription& setting : kSettings) {
        const std::string option = setting.option;
        const std::string range = std::to_string(setting.minimum) + ".." + std::to_string(setting.maximum);
        const std::size_t line = help.out.find("\n  " + option + " N ");
        ASSERT_NE(line, std::string::npos) << option;
        const std::string text = help.out.substr(line + 1, help.out.find('\n', line + 1) - line - 1);
        EXPECT_NE(text.find(" " + range + " "), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("(default ") + std::to_string(setting.initial) + ")"), std::string::npos) << text;

        for (const std::int32_t value : {setting.minimum, setting.maximum}) {
            const Outcome printed = Render("--print-settings " + option + " " + std::to_string(value));
            EXPECT_EQ(printed.status, 0) << option << " " << value << ": " << printed.err;
            EXPECT_NE(printed.out.find(std::string("\"") + setting.key + "\": " + std::to_string(value)), std::string::npos)
                << printed.out;
        }
        const Outcome above = Render("--print-settings " + option + " " + std::to_string(setting.maximum + 1));
        EXPECT_EQ(above.status, 2);
        EXPECT_EQ(above.err, "lumarq-render: " + option + ": " + std::to_string(setting.maximum + 1) +
                                 " is out of range (" + range + ")\n");
    }
}

TEST_F(RenderCli, RendersExactlyWhatThePipelineRenders) {
    const std::string input = MakeImage("in.bmp", 171, 150);
    const std::string output = (dir / "out.bmp").string();
    // A negative value follows its option as the next word.
    const Outcome run = Render("--pattern 33 --detector 90 --red 10 --green 200 --blue 30 --x -12 --y 7 --angle 30 " +
                           input + " -o " + output);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;

    TWin source(0, 0), rendered(0, 0);
    source.LoadFromFile(input);
    rendered.LoadFromFile(output);
    TWin expected(source.Width(), source.Height());
    RenderPipeline(expected, source, {33, 90, 10, 200, 30, -12, 7, 30});
    EXPECT_EQ(PixelBytes(rendered), PixelBytes(expected));
    EXPECT_NE(PixelBytes(rendered), PixelBytes(source));

    // Defaults are the panel's start-up settings; --repeat still writes once and reports timing.
    const Outcome repeated = Render("--repeat 2 " + input + " -o " + output);
    ASSERT_EQ(repeated.status, 0) << repeated.err;
    double median = 0, low = 0, high = 0;
    int count = 0, consumed = 0;
    ASSERT_EQ(std::sscanf(repeated.err.c_str(), "render_ms median=%lf min=%lf max=%lf n=%d\n%n", &median, &low, &high,
                          &count, &consumed),
              4)
        << repeated.err;
    EXPECT_EQ(static_cast<std::size_t>(consumed), repeated.err.size()) << "one line only: " << repeated.err;
    EXPECT_EQ(count, 2);
    EXPECT_NEAR(median, (low + high) / 2, 0.0011) << "the median of two is their mean: " << repeated.err;
    EXPECT_EQ(repeated.err.substr(repeated.err.rfind(" n=") - 5, 5).find('.'), 1u) << "three decimals: " << repeated.err;
    rendered.LoadFromFile(output);
    TWin initial(source.Width(), source.Height());
    RenderPipeline(initial, source, RenderSettings{});
    EXPECT_EQ(PixelBytes(rendered), PixelBytes(initial));
}

TEST_F(RenderCli, SettingsFileIsTheBaseThatOptionsOverride) {
    const std::string input = MakeImage("in.bmp", 171, 150);
    std::ofstream(dir / "look.json") << "{\"lumarq\": 1, \"pattern\": 33, \"angle\": 30, \"red\": 9,\n"
                                        " \"note\": {\"made by\": [\"hand\", 1.5, null]}}";
    const std::string look = (dir / "look.json").string();
    // Options override the file wherever they stand; what neither names keeps its default.
    const Outcome printed = Render("--red 10 --settings " + look + " --x -12 --print-settings");
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_EQ(printed.out, "{\"lumarq\": 1, \"pattern\": 33, \"detector\": 160, \"red\": 10, \"green\": 0, "
                           "\"blue\": 0, \"x\": -12, \"y\": 0, \"angle\": 30}\n");
    const Outcome run = Render("--settings=" + look + " --red 10 --x -12 " + input + " -o " + (dir / "out.bmp").string());
    ASSERT_EQ(run.status, 0) << run.err;
    TWin source(0, 0), rendered(0, 0);
    source.LoadFromFile(input);
    rendered.LoadFromFile((dir / "out.bmp").string());
    TWin expected(source.Width(), source.Height());
    RenderPipeline(expected, source, {33, 160, 10, 0, 0, -12, 0, 30});
    EXPECT_EQ(PixelBytes(rendered), PixelBytes(expected));

    // A range in the file is a range; a single number on the command line overrides it.
    std::ofstream(dir / "sweep.json") << "{\"lumarq\": 1, \"x\": [0, -600], \"red\": [255, 0]}";
    const std::string sweep = (dir / "sweep.json").string();
    const Outcome ranges = Render("--settings " + sweep + " --red 7 --angle 0:90 --print-settings");
    EXPECT_EQ(ranges.out, "{\"lumarq\": 1, \"pattern\": 13, \"detector\": 160, \"red\": 7, \"green\": 0, "
                          "\"blue\": 0, \"x\": [0, -600], \"y\": 0, \"angle\": [0, 90]}\n");

    std::ofstream(dir / "bad.json") << "{\"lumarq\": 1, \"green\": -1}";
    const struct {
        std::string arguments, expected;
    } failures[] = {
        {"--settings " + (dir / "bad.json").string(), (dir / "bad.json").string() + ": \"green\": -1 is out of range (0..255)"},
        {"--settings " + (dir / "none.json").string(), "none.json: cannot be read (No such file or directory)"},
        {"--convert --settings " + look, "--convert renders nothing"},
        {"--settings " + sweep,
         sweep + ": \"red\" is a range [255, 0]: it needs --frames N (the frames to sweep it over), or --red with one value"},
    };
    for (const auto& failure : failures) {
        const Outcome refused = Render(failure.arguments + " " + input + " -o " + (dir / "x.bmp").string());
        EXPECT_EQ(refused.status, 2) << failure.arguments;
        EXPECT_NE(refused.err.find(failure.expected), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}

TEST_F(RenderCli, ConvertNormalisesAPalettedFileTo24Bit) {
    // A 2 x 2 8-bit bottom-up file with a four-entry colour table.
    const unsigned char file[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 70, 0, 0, 0,                 // file header
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0,    // info header
        8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 10, 20, 30, 0,       // blue green red reserved
        0, 1, 0, 0, 2, 3, 0, 0,                                         // bottom row, then top row
    };
    const fs::path input = dir / "paletted.bmp";
    std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(file), sizeof file);
    const fs::path output = dir / "converted.bmp";
    const Outcome run = Render("--convert " + input.string() + " -o " + output.string());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = Slurp(output);
    ASSERT_EQ(bytes.size(), 54u + 2 * 8);
    EXPECT_EQ(bytes[28], 24);  // bit count
    TWin converted(0, 0);
    converted.LoadFromFile(output.string());
    EXPECT_EQ(PixelAt(converted, 0, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(PixelAt(converted, 1, 0), (Rgb{30, 20, 10}));
    EXPECT_EQ(PixelAt(converted, 0, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(converted, 1, 1), (Rgb{0, 255, 0}));
}
