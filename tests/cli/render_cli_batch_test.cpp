// Runs the real lumarq-render executable the way a script would: batches, image
// formats and failures.
#include "tests/cli/render_cli.h"

TEST_F(RenderCli, BatchGoesOnPastBadInputsAndLeavesTheirOutputsAlone) {
    const std::string good1 = MakeImage("first.bmp");
    const std::string good2 = MakeImage("second.bmp", 140, 200);
    const fs::path bad = dir / "broken.bmp";
    std::ofstream(bad, std::ios::binary) << "BM this is not a bitmap at all, just text";
    const std::string missing = (dir / "missing.bmp").string();
    fs::create_directories(dir / "out");
    std::ofstream(dir / "out" / "broken.bmp") << "keep me";

    const Outcome run = Render(good1 + " " + bad.string() + " " + missing + " " + good2 + " -o " + (dir / "out").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("lumarq-render: " + missing + ": Cannot open file " + missing), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("lumarq-render: " + bad.string() + ": "), std::string::npos) << run.err;
    EXPECT_EQ(Slurp(dir / "out" / "broken.bmp"), "keep me");
    EXPECT_FALSE(fs::exists(dir / "out" / "missing.bmp"));
    TWin second(0, 0);
    second.LoadFromFile((dir / "out" / "second.bmp").string());
    EXPECT_EQ(second.Width(), 140);
    EXPECT_EQ(second.Height(), 200);
    EXPECT_TRUE(fs::exists(dir / "out" / "first.bmp"));
    // No terminal on stderr: nothing but the two errors and the count.
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
    EXPECT_TRUE(run.err.ends_with("\nlumarq-render: 2 written, 2 failed\n")) << run.err;
    // On a terminal (script(1) gives one), a bar is redrawn in place before the same count.
    if (std::system("script -qc true /dev/null >/dev/null 2>&1") == 0) {
        const std::string command = "script -qc \"'" + std::string(LUMARQ_RENDER) + "' " + good1 + " " + missing +
                                    " -o " + (dir / "out").string() + "\" /dev/null >'" + (dir / "terminal").string() +
                                    "' </dev/null";
        ASSERT_NE(std::system(command.c_str()), -1);
        const std::string terminal = Slurp(dir / "terminal");
        EXPECT_NE(terminal.find("\r\x1b[K[##########----------] 1/2"), std::string::npos) << terminal;
        EXPECT_NE(terminal.find("] 2/2, 1 failed\r\x1b[Klumarq-render: 1 written, 1 failed"), std::string::npos) << terminal;
    }

    // Two inputs of the same name must not overwrite each other's result, one
    // after the other (where the order is certain) or at once.
    fs::create_directories(dir / "other");
    const std::string twin = (dir / "other" / "first.bmp").string();
    TWin small(150, 150);
    ASSERT_TRUE(small.SaveToFile(twin).ok);
    for (const std::string jobs : {"-j 1 ", "-j 2 "}) {
        const Outcome clash = Render(jobs + "--convert " + good1 + " " + twin + " -o " + (dir / "out").string());
        EXPECT_EQ(clash.status, 1) << jobs;
        EXPECT_NE(clash.err.find("lumarq-render: " + twin + ": not written"), std::string::npos) << clash.err;
        TWin kept(0, 0);
        kept.LoadFromFile((dir / "out" / "first.bmp").string());
        EXPECT_EQ(kept.Width(), 160) << jobs;
    }
}

TEST_F(RenderCli, PhotosInAndShareableImagesOut) {
    const std::string bitmap = MakeImage("in.bmp", 171, 150);
    TWin source(0, 0);
    source.LoadFromFile(bitmap);
    TWin expected(source.Width(), source.Height());
    RenderPipeline(expected, source, {33, 160, 255, 0, 0, 0, 0, 0});
    auto load = [](const fs::path& path) {
        auto image = std::make_unique<TWin>(0, 0);
        image_io::LoadImageFile(path.string(), *image);
        return image;
    };

    // --convert writes what the output's extension names; the PNG keeps every pixel.
    const fs::path png = dir / "in.png";
    ASSERT_EQ(Render("--convert " + bitmap + " -o " + png.string()).status, 0);
    EXPECT_EQ(Slurp(png).substr(0, 4), "\x89PNG");
    EXPECT_EQ(PixelBytes(*load(png)), PixelBytes(source));

    // A PNG in, a JPEG out, close to the render (lossy) and smaller at a low quality.
    const Outcome run = Render("--pattern 33 " + png.string() + " -o " + (dir / "out.jpg").string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slurp(dir / "out.jpg").substr(0, 3), "\xFF\xD8\xFF");
    const std::vector<std::uint8_t> got = PixelBytes(*load(dir / "out.jpg")), want = PixelBytes(expected);
    ASSERT_EQ(got.size(), want.size());
    double difference = 0;
    for (std::size_t i = 0; i < got.size(); ++i) difference += std::abs(got[i] - want[i]);
    EXPECT_LT(difference / got.size(), 8.0);
    ASSERT_EQ(Render("--quality 20 --pattern 33 " + png.string() + " -o " + (dir / "low.jpg").string()).status, 0);
    EXPECT_LT(fs::file_size(dir / "low.jpg"), fs::file_size(dir / "out.jpg"));

    // "-" in and out: the same bytes as between two files.
    const Outcome piped = Render("--pattern 33 - -o - --format jpg", "", png.string());
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, Slurp(dir / "out.jpg"));

    // Into a directory, --format gives every output its extension.
    fs::create_directories(dir / "shared");
    const Outcome batch = Render("--format webp " + png.string() + " " + bitmap + " -o " + (dir / "shared").string());
    EXPECT_EQ(batch.status, 1) << "in.png and in.bmp both become in.webp";
    EXPECT_NE(batch.err.find("already holds the result of"), std::string::npos) << batch.err;
    EXPECT_EQ(Slurp(dir / "shared" / "in.webp").substr(0, 4), "RIFF");
    const std::string other = MakeImage("other.bmp", 140, 130);
    ASSERT_EQ(Render("--format TIF " + other + " -o " + (dir / "shared").string()).status, 0);
    EXPECT_EQ(load(dir / "shared" / "other.tiff")->Width(), 140);
}

TEST_F(RenderCli, SeveralAtOnceWriteTheSameBytesAndReportInInputOrder) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i) {
        // Every other input is missing, so its error is ready long before the renders around it.
        inputs.push_back(i % 2 ? (dir / ("missing" + std::to_string(i) + ".bmp")).string()
                               : MakeImage("in" + std::to_string(i) + ".bmp", 300 + 40 * i, 200));
    }
    std::string list;
    for (const std::string& input : inputs) list += input + " ";
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "many");
    const std::string settings = "--pattern 33 --angle 30 --repeat 2 ";
    const Outcome one = Render(settings + "--threads 1 -j 1 " + list + "-o " + (dir / "one").string());
    const Outcome many = Render(settings + "-j4 " + list + "-o " + (dir / "many").string(), "LUMARQ_THREADS=3");
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(many.status, 1);
    // Each input's timing line, then each missing input's error, in input order.
    std::vector<std::string> lines;
    std::istringstream text(many.err);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << many.err;
    EXPECT_EQ(lines[6], "lumarq-render: 3 written, 3 failed");
    for (int i = 0; i < 6; ++i) {
        if (i % 2) EXPECT_EQ(lines[i], "lumarq-render: " + inputs[i] + ": Cannot open file " + inputs[i] + " (No such file or directory)");
        else EXPECT_EQ(lines[i].rfind("render_ms median=", 0), 0u) << lines[i];
    }
    for (int i = 0; i < 6; i += 2) {
        const std::string name = fs::path(inputs[i]).filename().string();
        EXPECT_EQ(Slurp(dir / "many" / name), Slurp(dir / "one" / name)) << name;
        EXPECT_FALSE(Slurp(dir / "one" / name).empty());
    }
}

TEST_F(RenderCli, AFolderOutputNeverReplacesAnInput) {
    const std::string a = MakeImage("a.bmp");
    fs::create_directories(dir / "sub");
    fs::create_directories(dir / "other");
    const std::string inner = MakeImage("sub/x.bmp", 150, 150);
    const std::string outer = MakeImage("x.bmp", 170, 150);
    const std::string b = MakeImage("other/b.bmp", 150, 140);
    fs::create_symlink("a.bmp", dir / "alias.bmp");
    const std::string alias = (dir / "alias.bmp").string(), dotted = (dir / "." / "a.bmp").string();
    const std::string folder = dir.string();
    const std::string before = Slurp(a) + Slurp(inner) + Slurp(outer);
    const struct {
        std::string inputs;
        std::vector<std::string> refused;
    } cases[] = {
        {a, {a}},
        {dotted, {dotted}},
        {alias, {alias}},                 // a link to an input is that input
        {inner + " " + outer, {inner, outer}},  // ./x.bmp is the second input: refused before it is written
        {a + " " + b, {a}},               // the other input is still processed
    };
    for (const auto& c : cases) {
        const Outcome run = Render("--pattern 33 " + c.inputs + " -o " + folder);
        EXPECT_EQ(run.status, 1) << c.inputs;
        for (const std::string& input : c.refused)
            EXPECT_NE(run.err.find("lumarq-render: " + input + ": would overwrite an input; choose another output folder"),
                      std::string::npos)
                << c.inputs << " -> " << run.err;
        const bool several = c.inputs.find(' ') != std::string::npos;  // then a count of written and failed follows
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), static_cast<long>(c.refused.size() + several)) << run.err;
        EXPECT_EQ(Slurp(a) + Slurp(inner) + Slurp(outer), before);
    }
    EXPECT_TRUE(fs::exists(dir / "b.bmp"));
    // Naming the input itself as the one output is the user's explicit wish.
    EXPECT_EQ(Render("--pattern 33 " + a + " -o " + a).status, 0);
    EXPECT_NE(Slurp(a), before.substr(0, Slurp(a).size()));

    // Outputs whose paths cannot be resolved (link loops) do not block each other.
    fs::create_directories(dir / "loops");
    fs::create_symlink("x.bmp", dir / "loops" / "x.bmp");
    fs::create_symlink("b.bmp", dir / "loops" / "b.bmp");
    const Outcome loops = Render("--convert " + outer + " " + b + " -o " + (dir / "loops").string());
    EXPECT_EQ(loops.status, 0) << loops.err;
}

TEST_F(RenderCli, AFewBytesCannotClaimGigabytes) {
    // 32767 x 32767 pixels, 24-bit, with 4 bytes of pixel data: refused at once.
    std::string file(58, '\0');
    const auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
    };
    file[0] = 'B', file[1] = 'M';
    put32(14, 40), put32(18, 32767), put32(22, 32767), file[26] = 1, file[28] = 24;
    std::ofstream(dir / "bomb.bmp", std::ios::binary) << file;
    const Outcome run = Render("--convert " + (dir / "bomb.bmp").string() + " -o " + (dir / "out.bmp").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Image too large for its file: 32767 x 32767 pixels in 58 bytes"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
}

// Whether text is valid UTF-8 whose only control characters are line ends, as the
// C library reads it.
bool PrintableLines(const std::string& text) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::mbstate_t state{};
    for (std::size_t i = 0; i < text.size();) {
        wchar_t c = 0;
        const std::size_t length = std::mbrtowc(&c, text.data() + i, text.size() - i, &state);
        if (length == 0 || length > text.size() - i || (c != L'\n' && !std::iswprint(static_cast<wint_t>(c)))) return false;
        i += length;
    }
    return true;
}

TEST_F(RenderCli, EveryFailureIsOneSafeLineNamingItsFileAndReason) {
    const std::string input = MakeImage("in.bmp");
    const std::string out = (dir / "out.bmp").string(), folder = dir.string();
    std::ofstream(dir / "empty.png").flush();
    // A PNG cut short in its image data: libpng says why, inside our line.
    ASSERT_EQ(Render("--convert " + input + " -o " + (dir / "whole.png").string()).status, 0);
    std::ofstream(dir / "cut.png", std::ios::binary) << Slurp(dir / "whole.png").substr(0, 300);
    const std::string locked = MakeImage("locked.bmp");
    fs::permissions(locked, fs::perms::none);
    const struct {
        std::string arguments, environment;
        int status;
        std::string expected;  // within the one line
    } cases[] = {
        {"none.bmp -o " + out, "", 1, "lumarq-render: none.bmp: Cannot open file none.bmp (No such file or directory)"},
        {folder + " -o " + out, "", 1, "lumarq-render: " + folder + ": Cannot open file " + folder + " (Is a directory)"},
        {locked + " -o " + out, "", 1, "lumarq-render: " + locked + ": Cannot open file " + locked + " (Permission denied)"},
        {(dir / "empty.png").string() + " -o " + out, "", 1, "empty.png: the file is empty"},
        {"- -o - --format png", "", 1, "lumarq-render: -: standard input is empty"},
        {(dir / "cut.png").string() + " -o " + out, "", 1, "cut.png: PNG image is damaged or incomplete (Unable to read image data; libpng error: "},
        // A full disk, as a file size limit: the output, and the system's reason.
        {input + " -o " + out, "trap '' XFSZ; ulimit -f 8;", 1, "lumarq-render: " + out + ": Stream write error (File too large)"},
        {input + " -o -", "", 2, "-o - writes to standard output and needs --format"},
        {"- " + input + " -o " + folder, "", 2, "- reads standard input, and must be the only input"},
        // Names and values that would move, clear or retitle a terminal, or split the line.
        {"'a\x1b[2Jb.png' -o " + out, "", 1, "lumarq-render: 'a'$'\\033''[2Jb.png': Cannot open file 'a'$'\\033''[2Jb.png' ("},
        {"'two\nlines.png' -o " + out, "", 1, "lumarq-render: 'two'$'\\n''lines.png': "},
        {"'\xff\xfe.png' 'it'\\''s.png' -o " + folder, "", 1, "lumarq-render: ''$'\\377\\376''.png': "},
        {"'it'\\''s.png' -o " + out, "", 1, "lumarq-render: \"it's.png\": "},
        {input + " -o '\xc2\x9b""31m/x.bmp'", "", 1, "Cannot create file ''$'\\302\\233''31m/x.bmp' ("},
        {"--format '\x1b]0;x\a' " + input + " -o " + folder, "", 2, "(not ''$'\\033'']0;x'$'\\a')"},
        {"--pattern '\x1b[2J' " + input + " -o " + out, "", 2, "--pattern: ''$'\\033''[2J' is not a whole number"},
        {"--settings='\r.json' " + input + " -o " + out, "", 2, "lumarq-render: ''$'\\r''.json': cannot be read"},
        {"'--\x1b[31m' " + input + " -o " + out, "", 2, "unknown option '--'$'\\033''[31m'"},
        {input + " -o " + out, "LUMARQ_THREADS='\x1b[2J'", 2, "LUMARQ_THREADS: ''$'\\033''[2J' is not"},
    };
    for (const auto& c : cases) {
        if (c.arguments.rfind(locked, 0) == 0 && ::geteuid() == 0) continue;  // root reads it all the same
        const Outcome run = Render(c.arguments, c.environment);
        EXPECT_EQ(run.status, c.status) << c.arguments << " -> " << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.arguments << " -> " << run.err;
        EXPECT_TRUE(PrintableLines(run.err)) << run.err;
        // One line for each input that failed, and the count after several.
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), c.arguments.find(".png' 'it") == std::string::npos ? 1 : 3) << run.err;
        EXPECT_TRUE(run.err.ends_with('\n')) << run.err;
        EXPECT_FALSE(fs::exists(out)) << c.arguments;
    }
}
