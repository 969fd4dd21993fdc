// What the image format tests share: their files, a load that reports its message,
// the pictures the files were made from, and a pixel-by-pixel comparison.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "image_io/image_file.h"
#include "tests/raster/test_util.h"

inline std::string DataFile(const std::string& name) { return std::string(LUMARQ_TEST_DATA) + "/images/" + name; }

// The loader's message, or "" when the file loaded.
inline std::string LoadAny(TWin& image, const std::string& path, TWin* copy = nullptr) {
    try {
        image_io::LoadImageFile(path, image, copy);
        return "";
    } catch (const LoadError& e) {
        return e.what();
    }
}

inline Rgb Pattern(int x, int y) { return {16 * x + y, 20 * y + x, 255 - 8 * x - 4 * y}; }
inline Rgb Quadrants(int x, int y) {
    static const Rgb colours[4] = {{220, 40, 40}, {40, 200, 60}, {50, 60, 210}, {240, 240, 240}};
    return colours[(y >= 12) * 2 + (x >= 16)];
}

// The largest difference of any channel of any pixel of two rasters of one size.
inline int WorstDifference(const TWin& a, const TWin& b) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(PixelAt(a, x, y)[i] - PixelAt(b, x, y)[i]));
    return worst;
}

// Checks every pixel of image against expected within tolerance, or only the centres
// of the 16 x 12 blocks (where a lossy codec's blur across block edges stays away);
// names the first few that differ.
inline void ExpectPixels(const TWin& image, const std::function<Rgb(int, int)>& expected, int tolerance,
                         bool centresOnly) {
    int wrong = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            if (centresOnly && (x % 16 < 3 || x % 16 > 12 || y % 12 < 3 || y % 12 > 8)) continue;
            const Rgb got = PixelAt(image, x, y), want = expected(x, y);
            for (int i = 0; i < 3; ++i)
                if (std::abs(got[i] - want[i]) > tolerance && wrong++ < 3)
                    ADD_FAILURE() << "(" << x << ", " << y << ") channel " << i << ": " << got[i] << ", want " << want[i];
        }
}
