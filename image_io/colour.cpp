// Building LittleCMS transforms to sRGB from whatever a file says about its colours.
#include "image_io/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace image_io::colour {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
struct CurveFreer {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

// LittleCMS reports damaged profiles through a global handler; the caller treats
// a profile it cannot use as none, so the reports are not wanted on the console.
void Silence() {
    static const bool silenced = (cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {}), true);
    (void)silenced;
}

Curve SrgbCurve() {
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

Curve GammaCurve(double gamma) { return Curve(cmsBuildGamma(nullptr, gamma)); }

// A curve through a table of the signal's linear light relative to sRGB white.
template <typename Function>
Curve TableCurve(Function linear) {
    constexpr int kEntries = 4096;
    std::vector<cmsUInt16Number> table(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        const double value = std::clamp(linear(i / double(kEntries - 1)), 0.0, 1.0);
        table[i] = static_cast<cmsUInt16Number>(std::lround(value * 65535));
    }
    return Curve(cmsBuildTabulatedToneCurve16(nullptr, kEntries, table.data()));
}

// High dynamic range signals: reference white (203 cd/m² for PQ, a 75 % signal
// for HLG) becomes sRGB white and anything brighter is clipped.
Curve PqCurve() {
    return TableCurve([](double signal) {
        const double m1 = 2610 / 16384.0, m2 = 2523 / 4096.0 * 128, c1 = 3424 / 4096.0, c2 = 2413 / 4096.0 * 32,
                     c3 = 2392 / 4096.0 * 32;
        const double p = std::pow(signal, 1 / m2);
        const double nits = 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
        return nits / 203;
    });
}
Curve HlgCurve() {
    return TableCurve([](double signal) {
        const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
        auto scene = [&](double e) { return e <= 0.5 ? e * e / 3 : (std::exp((e - c) / a) + b) / 12; };
        return scene(signal) / scene(0.75);
    });
}

cmsCIExyY Xy(double x, double y) { return {x, y, 1.0}; }

// White, red, green, blue of the coded primaries; BT.709's (sRGB's) for the unknown.
std::vector<double> CodedPrimaries(int primaries) {
    switch (primaries) {
        case 5: return {0.3127, 0.3290, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06};
        case 6:
        case 7: return {0.3127, 0.3290, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070};
        case 9: return {0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046};
        case 11: return {0.314, 0.351, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
        case 12: return {0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
        default: return {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    }
}

bool PrimariesAreSrgb(int primaries) { return primaries == 1 || primaries == 2 || CodedPrimaries(primaries) == CodedPrimaries(1); }
// BT.709's family of curves is shown as sRGB, as displays show such pictures.
bool TransferIsSrgb(int transfer) {
    return transfer != 4 && transfer != 5 && transfer != 8 && transfer != 16 && transfer != 18;
}

Curve CodedCurve(int transfer) {
    switch (transfer) {
        case 4: return GammaCurve(2.2);
        case 5: return GammaCurve(2.8);
        case 8: return GammaCurve(1.0);
        case 16: return PqCurve();
        case 18: return HlgCurve();
        default: return SrgbCurve();
    }
}

bool GammaIsSrgb(const Source& source) {
    if (source.gamma == 0 || std::abs(source.gamma - 0.45455) <= 0.001) {
        if (source.chromaticities.size() != 8) return true;
        const std::vector<double> srgb = CodedPrimaries(1);
        for (int i = 0; i < 8; ++i)
            if (std::abs(source.chromaticities[i] - srgb[i]) > 0.01) return false;
        return true;
    }
    return false;
}

Profile RgbProfile(const std::vector<double>& c, cmsToneCurve* curve) {
    if (!curve) return nullptr;
    const cmsCIExyY white = Xy(c[0], c[1]);
    const cmsCIExyYTRIPLE primaries = {Xy(c[2], c[3]), Xy(c[4], c[5]), Xy(c[6], c[7])};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

// A profile that is sRGB in all but name (phones embed one in most photos): the
// same colorants and tone curves. Converting through it would only cost time and
// rounding.
bool ProfileIsSrgb(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData) return false;
    // Profiles are not to be read from two threads at once: one of our own per call.
    const Profile srgb(cmsCreate_sRGBProfile());
    for (const cmsTagSignature tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        const auto* have = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tag));
        const auto* want = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.get(), tag));
        if (!have || !want || std::abs(have->X - want->X) > 0.002 || std::abs(have->Y - want->Y) > 0.002 ||
            std::abs(have->Z - want->Z) > 0.002)
            return false;
    }
    if (cmsIsCLUT(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) return false;
    const Curve reference = SrgbCurve();
    for (const cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
        if (!curve) return false;
        for (int i = 0; i <= 32; ++i)
            if (std::abs(cmsEvalToneCurveFloat(curve, i / 32.0f) - cmsEvalToneCurveFloat(reference.get(), i / 32.0f)) >
                0.4f / 255)
                return false;
    }
    return true;
}

cmsColorSpaceSignature SpaceOf(Model model) {
    switch (model) {
        case Model::Grey: return cmsSigGrayData;
        case Model::Cmyk: return cmsSigCmykData;
        case Model::Rgb: break;
    }
    return cmsSigRgbData;
}

// The profile the samples are in; nothing when they are sRGB (or the file's
// profile does not fit them) and `evenForSrgb` is false.
Profile SourceProfile(const Source& source, Model model, bool evenForSrgb) {
    if (!source.icc.empty()) {
        Profile profile(cmsOpenProfileFromMem(source.icc.data(), static_cast<cmsUInt32Number>(source.icc.size())));
        const bool usable = profile && cmsGetColorSpace(profile.get()) == SpaceOf(model) &&
                            cmsGetDeviceClass(profile.get()) != cmsSigLinkClass &&
                            cmsGetDeviceClass(profile.get()) != cmsSigAbstractClass;
        if (usable && (evenForSrgb || !ProfileIsSrgb(profile.get()))) return profile;
        if (usable) return nullptr;
        // A profile that cannot describe these samples: shown as untagged.
    } else if (source.coded && model == Model::Rgb) {
        if (!evenForSrgb && PrimariesAreSrgb(source.primaries) && TransferIsSrgb(source.transfer)) return nullptr;
        return RgbProfile(CodedPrimaries(source.primaries), CodedCurve(source.transfer).get());
    } else if (source.gamma != 0 && !GammaIsSrgb(source) && model != Model::Cmyk) {
        const std::vector<double> c = source.chromaticities.size() == 8 ? source.chromaticities : CodedPrimaries(1);
        const Curve curve = GammaCurve(1 / source.gamma);
        if (model == Model::Grey) {
            const cmsCIExyY white = Xy(c[0], c[1]);
            return Profile(curve ? cmsCreateGrayProfile(&white, curve.get()) : nullptr);
        }
        return RgbProfile(c, curve.get());
    }
    if (!evenForSrgb) return nullptr;
    if (model == Model::Grey) {
        const Curve curve = SrgbCurve();
        const cmsCIExyY white = Xy(0.3127, 0.3290);
        return Profile(curve ? cmsCreateGrayProfile(&white, curve.get()) : nullptr);
    }
    return model == Model::Rgb ? Profile(cmsCreate_sRGBProfile()) : nullptr;
}

}  // namespace

bool IsSrgb(const Source& source) {
    if (!source.icc.empty()) return false;
    if (source.coded) return PrimariesAreSrgb(source.primaries) && TransferIsSrgb(source.transfer);
    return GammaIsSrgb(source);
}

std::uint32_t Layout(Model model, int bytesPerSample, bool alpha, bool inverted) {
    const int colours = model == Model::Grey ? 1 : model == Model::Rgb ? 3 : 4;
    const int space = model == Model::Grey ? PT_GRAY : model == Model::Rgb ? PT_RGB : PT_CMYK;
    return COLORSPACE_SH(space) | CHANNELS_SH(colours) | EXTRA_SH(alpha ? 1 : 0) | BYTES_SH(bytesPerSample) |
           FLAVOR_SH(inverted ? 1 : 0);
}

ToSrgb::ToSrgb(const Source& source, Model model, std::uint32_t input, std::uint32_t output, bool copyAlpha,
               bool evenForSrgb) {
    Silence();
    const Profile from = SourceProfile(source, model, evenForSrgb);
    if (!from) return;
    const Profile srgb(cmsCreate_sRGBProfile());
    // Perceptual where the profile has a table for it; otherwise relative
    // colorimetric with black-point compensation, so that shadows keep their detail.
    const bool perceptual = cmsIsIntentSupported(from.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
    // Shared by threads: no cache of the last pixel. The finer grid keeps table
    // profiles (CMYK above all) within a level or two of the exact conversion.
    cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_HIGHRESPRECALC;
    if (copyAlpha) flags |= cmsFLAGS_COPY_ALPHA;
    if (!perceptual) flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
    transform_ = cmsCreateTransform(from.get(), input, srgb.get(), output,
                                    perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC, flags);
}

ToSrgb::~ToSrgb() {
    if (transform_) cmsDeleteTransform(transform_);
}

void ToSrgb::Apply(const void* in, void* out, std::size_t pixels) const {
    cmsDoTransform(transform_, in, out, static_cast<cmsUInt32Number>(pixels));
}

}  // namespace image_io::colour
