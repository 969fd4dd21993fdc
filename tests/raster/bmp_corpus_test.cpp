// The reader over the public BMP corpus (tests/data/bmpsuite) and over inputs the
// fuzzer once found troublesome (tests/data/fuzz-regressions).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "raster/win.h"

#include "tests/raster/bmp_builder.h"

namespace {

const std::string kCorpus = std::string(LUMARQ_TEST_DATA) + "/bmpsuite";

struct Expected {
    int width = 0, height = 0;
    std::uint64_t hash = 0;
    std::vector<int> runs;   // alternating opaque / not-opaque stretches; empty: all opaque
    std::string sample;      // hex RGB of every 4th pixel of every 4th row, or empty
};

std::map<std::string, Expected> ReadExpected() {
    std::map<std::string, Expected> all;
    std::ifstream in(kCorpus + "/expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, hash, runs, sample;
        Expected e;
        fields >> name >> e.width >> e.height >> hash >> runs >> sample;
        e.hash = std::stoull(hash, nullptr, 16);
        if (runs != "-") {
            std::istringstream list(runs);
            for (std::string n; std::getline(list, n, ',');) e.runs.push_back(std::stoi(n));
        }
        if (sample != "-") e.sample = sample;
        all[name] = e;
    }
    return all;
}

// Whether `win` shows the reference colours; `why` says how it differs.
bool Matches(const TWin& win, const Expected& e, std::string& why) {
    if (win.Width() != e.width || win.Height() != e.height) {
        why = "size " + std::to_string(win.Width()) + "x" + std::to_string(win.Height());
        return false;
    }
    std::vector<bool> opaque(static_cast<std::size_t>(e.width) * e.height, true);
    std::size_t at = 0;
    for (std::size_t i = 0; i < e.runs.size(); ++i)
        for (int n = 0; n < e.runs[i] && at < opaque.size(); ++n) opaque[at++] = i % 2 == 0;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (int y = 0; y < e.height; ++y)
        for (int x = 0; x < e.width; ++x) {
            if (!opaque[static_cast<std::size_t>(y) * e.width + x]) continue;
            const std::uint8_t* p = win.PixelAddress(x, y);
            for (int c : {2, 1, 0}) hash = (hash ^ p[c]) * 0x100000001b3ULL;
        }
    if (hash == e.hash) return true;
    if (e.sample.empty()) {
        why = "colours differ";
        return false;
    }
    // Unusual channel widths: the expansion to 8 bits may round differently, by up to 8.
    std::size_t i = 0;
    for (int y = 0; y < e.height; y += 4)
        for (int x = 0; x < e.width; x += 4, i += 6) {
            if (!opaque[static_cast<std::size_t>(y) * e.width + x]) continue;
            const std::uint8_t* p = win.PixelAddress(x, y);
            for (int c = 0; c < 3; ++c) {
                const int want = std::stoi(e.sample.substr(i + 2 * c, 2), nullptr, 16);
                if (std::abs(p[2 - c] - want) > 8) {
                    why = "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs by more than 8";
                    return false;
                }
            }
        }
    return true;
}


bool IsKnownMessage(const std::string& message) {
    return message == "Stream read error" || message == "Bitmap image is not valid" ||
           message.rfind("System Error.  Code: ", 0) == 0;
}

std::vector<std::string> BmpFiles(const std::string& folder) {
    std::vector<std::string> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(BmpCorpus, EveryGoodFileLoadsWithTheReferenceColours) {
    const auto expected = ReadExpected();
    const auto files = BmpFiles(kCorpus + "/g");
    ASSERT_EQ(files.size(), 27u);
    for (const auto& path : files) {
        const std::string name = "g/" + std::filesystem::path(path).filename().string();
        SCOPED_TRACE(name);
        ASSERT_TRUE(expected.count(name));
        TWin win(1, 1);
        ASSERT_EQ(Load(win, path), "");
        std::string why;
        EXPECT_TRUE(Matches(win, expected.at(name), why)) << why;
    }
}

TEST(BmpCorpus, QuestionableFilesWithReferenceRenders) {
    // Files that load with the reference colours; the rest are 2-bit files, embedded
    // JPEG/PNG, OS/2 RLE24 and Huffman, 64-bit pixels (all refused), and an image
    // whose colours only a colour profile would put right.
    const std::set<std::string> right = {
        "q/pal1p1.bmp",         "q/pal4rlecut.bmp",     "q/pal4rletrns.bmp",    "q/pal8offs.bmp",
        "q/pal8os2-hs.bmp",     "q/pal8os2-sz.bmp",     "q/pal8os2sp.bmp",      "q/pal8os2v2-16.bmp",   "q/pal8os2v2-40sz.bmp",
        "q/pal8os2v2-sz.bmp",   "q/pal8os2v2.bmp",      "q/pal8oversizepal.bmp", "q/pal8rlecut.bmp",
        "q/pal8rletrns.bmp",    "q/rgb16-231.bmp",      "q/rgb16-3103.bmp",     "q/rgb16faketrns.bmp",
        "q/rgb24largepal.bmp",  "q/rgb24lprof.bmp",     "q/rgb24prof.bmp",      "q/rgb32-111110.bmp",
        "q/rgb32-7187.bmp",     "q/rgb32-xbgr.bmp",     "q/rgb32fakealpha.bmp", "q/rgb32h52.bmp",
        "q/rgba16-1924.bmp",    "q/rgba16-4444.bmp",    "q/rgba16-5551.bmp",    "q/rgba32-1.bmp",
        "q/rgba32-1010102.bmp", "q/rgba32-2.bmp",       "q/rgba32-61754.bmp",   "q/rgba32-81284.bmp",
        "q/rgba32abf.bmp",      "q/rgba32h56.bmp",
    };
    const auto expected = ReadExpected();
    int total = 0, good = 0;
    for (const auto& [name, e] : expected) {
        if (name.rfind("q/", 0) != 0) continue;
        ++total;
        TWin win(1, 1);
        const std::string message = Load(win, kCorpus + "/" + name);
        std::string why = message;
        const bool ok = message.empty() && Matches(win, e, why);
        good += ok;
        if (right.count(name)) EXPECT_TRUE(ok) << name << ": " << why;
        else if (ok) ADD_FAILURE() << name << " now loads right: add it to the list";
    }
    std::cout << good << "/" << total << " questionable files with a reference render load with its colours\n";
    EXPECT_EQ(total, 42);
    EXPECT_EQ(good, static_cast<int>(right.size()));
}

TEST(BmpCorpus, EveryOtherFileLoadsOrFailsCleanly) {
    std::vector<std::string> files;
    for (const char* folder : {"/q", "/b", "/x"})
        for (const auto& path : BmpFiles(kCorpus + folder)) files.push_back(path);
    for (const auto& path : BmpFiles(std::string(LUMARQ_TEST_DATA) + "/fuzz-regressions")) files.push_back(path);
    EXPECT_GE(files.size(), 64u);
    for (const auto& path : files) {
        TWin win(1, 1);
        const std::string message = Load(win, path);
        if (message.empty()) {
            // Loaded: every pixel can be read.
            unsigned sum = 0;
            for (int y = 0; y < win.Height(); ++y)
                for (int x = 0; x < win.Width(); ++x) sum += win.PixelAddress(x, y)[0];
            EXPECT_GT(win.Width(), 0) << path << " " << sum;
        } else {
            EXPECT_TRUE(IsKnownMessage(message)) << path << ": " << message;
            EXPECT_FALSE(win.HasPixels()) << path;
        }
    }
    // What a few of the bad files must do.
    const std::map<std::string, std::string> outcomes = {
        {"b/badbitcount.bmp", "Bitmap image is not valid"}, {"b/badplanes.bmp", "Bitmap image is not valid"},
        {"b/badwidth.bmp", "Bitmap image is not valid"},    {"b/reallybig.bmp", "Bitmap image is not valid"},
        {"b/rletopdown.bmp", "Bitmap image is not valid"},  {"b/badpalettesize.bmp", "Bitmap image is not valid"},
        {"b/shortfile.bmp", ""},                            {"b/badbitssize.bmp", ""},
        {"b/pal8badindex.bmp", ""},                         {"b/badrle.bmp", ""},
    };
    for (const auto& [name, message] : outcomes) {
        TWin win(1, 1);
        EXPECT_EQ(Load(win, kCorpus + "/" + name), message) << name;
    }
}
