// Runs the real lumarq-render executable the way a script would: the fixture the
// command-line tests share.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cwchar>
#include <cwctype>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image_io/image_file.h"
#include "raster/render.h"
#include "tests/raster/test_util.h"

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out, err;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class RenderCli : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("lumarq-cli-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    Outcome Render(const std::string& arguments, const std::string& environment = "", const std::string& input = "/dev/null") {
        const std::string command = environment + " '" + LUMARQ_RENDER + "' " + arguments + " >'" +
                                    (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "' <'" + input + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir / "stdout"), Slurp(dir / "stderr")};
    }

    // A picture with bright and dark parts, saved as a 24-bit file.
    std::string MakeImage(const std::string& name, int w = 160, int h = 140) {
        TWin image(w, h);
        FillWithCoordinates(image);
        const std::string path = (dir / name).string();
        EXPECT_TRUE(image.SaveToFile(path).ok);
        return path;
    }
};

inline std::vector<std::uint8_t> PixelBytes(const TWin& win) {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < win.Height(); ++y) bytes.insert(bytes.end(), win.PixelAddress(0, y), win.PixelAddress(win.Width(), y));
    return bytes;
}
