// Drives the render pipeline, the rotated placement and the patterns with every
// parameter the fuzzer can think of, on rasters up to 300 x 300, so that the
// address sanitizer sees any read or write outside a raster.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/render.h"
#include "raster/win.h"

namespace {

// Mostly ordinary values, sometimes anything a float can hold (huge, tiny, NaN).
float AnyFloat(FuzzedDataProvider& in, float low, float high) {
    return in.ConsumeBool() ? in.ConsumeFloatingPointInRange(low, high) : in.ConsumeFloatingPoint<float>();
}

std::int32_t AnyInt(FuzzedDataProvider& in, std::int32_t low, std::int32_t high) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange(low, high) : in.ConsumeIntegral<std::int32_t>();
}

void Fill(TWin& raster, FuzzedDataProvider& in) {
    if (!raster.HasPixels()) return;
    const std::size_t bytes = static_cast<std::size_t>(raster.Stride) * static_cast<std::size_t>(raster.Height());
    const std::uint8_t seed = in.ConsumeIntegral<std::uint8_t>();
    for (std::size_t i = 0; i < bytes; ++i) raster.Bits[i] = static_cast<std::uint8_t>(seed + i * 151);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    TWin source(in.ConsumeIntegralInRange(0, 300), in.ConsumeIntegralInRange(0, 300));
    TWin work(in.ConsumeIntegralInRange(0, 300), in.ConsumeIntegralInRange(0, 300));
    Fill(source, in);
    Fill(work, in);
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            RenderSettings s;
            s.Pattern = in.ConsumeIntegralInRange(-2, 67);
            s.Detector = in.ConsumeIntegralInRange(-10, 300);
            s.Red = in.ConsumeIntegralInRange(-10, 300);
            s.Green = in.ConsumeIntegralInRange(-10, 300);
            s.Blue = in.ConsumeIntegralInRange(-10, 300);
            s.XOffset = in.ConsumeIntegralInRange(-1600, 1600);
            s.YOffset = in.ConsumeIntegralInRange(-1600, 1600);
            s.Angle = in.ConsumeIntegralInRange(-400, 800);
            RenderPipeline(work, source, s);
            break;
        }
        case 1:
        case 2: {
            // Case 2 places the working raster into itself.
            TWin& from = in.ConsumeBool() ? work : source;
            const std::int32_t centreX = AnyInt(in, -700, 700), centreY = AnyInt(in, -700, 700);
            const float angle = AnyFloat(in, -1000.f, 1000.f);
            const float scaleX = AnyFloat(in, -4.f, 4.f), scaleY = AnyFloat(in, -4.f, 4.f);
            const float scaleStep = AnyFloat(in, -2.f, 2.f);
            const std::int32_t pivotX = AnyInt(in, -400, 400), pivotY = AnyInt(in, -400, 400);
            const std::int32_t blend = AnyInt(in, -300, 300), brightness = AnyInt(in, -300, 300);
            const float gain = AnyFloat(in, -4.f, 4.f), saturation = AnyFloat(in, -4.f, 4.f);
            const std::int32_t red = AnyInt(in, -300, 300), green = AnyInt(in, -300, 300), blue = AnyInt(in, -300, 300);
            const std::int32_t effect = AnyInt(in, -140, 20), clamp = AnyInt(in, -1, 2);
            const std::int32_t left = AnyInt(in, -50, 400), top = AnyInt(in, -50, 400);
            const std::int32_t right = AnyInt(in, -50, 400), bottom = AnyInt(in, -50, 400);
            work.PlaceRotated(from, centreX, centreY, angle, scaleX, scaleY, scaleStep, pivotX, pivotY, blend,
                              brightness, gain, saturation, red, green, blue, effect, clamp, left, top, right, bottom);
            break;
        }
        default: {
            std::int32_t v[15];
            for (std::int32_t& value : v) value = AnyInt(in, -400, 400);
            work.ApplyPattern(in.ConsumeIntegralInRange(-2, 67), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8],
                              v[9], v[10], v[11], v[12], v[13]);
            break;
        }
    }
    return 0;
}
