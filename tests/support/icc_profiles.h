// Wide-gamut ICC profiles for the tests and benchmarks, made with lcms2 from their published
// primaries (callers link lcms2).
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace icc_profiles {

// The profile's bytes as lcms2 writes them; empty if it cannot.
inline std::vector<uint8_t> profileBytes(cmsHPROFILE profile) {
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    if (profile) cmsCloseProfile(profile);
    return bytes;
}

// Display P3: the DCI-P3 primaries with a D65 white and the sRGB transfer curve.
inline std::vector<uint8_t> displayP3() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    // The sRGB curve: a line below 0.04045, above it ((x + 0.055) / 1.055) ^ 2.4.
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profileBytes(profile);
}

// Adobe RGB (1998): its primaries, D65 white and a power curve of 563/256.
inline std::vector<uint8_t> adobeRgb() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profileBytes(profile);
}

// Display P3 again, as a camera's table profile: a 17-point colour table to PCS Lab in place
// of the matrix and curves.
inline std::vector<uint8_t> displayP3Table() {
    const std::vector<uint8_t> p3 = displayP3();
    cmsHPROFILE matrix = cmsOpenProfileFromMem(p3.data(), cmsUInt32Number(p3.size()));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(matrix, TYPE_RGB_16, lab, TYPE_Lab_16,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsHPROFILE table = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(table, 4.3);
    cmsSetDeviceClass(table, cmsSigInputClass);
    cmsSetColorSpace(table, cmsSigRgbData);
    cmsSetPCS(table, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    const auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* t) -> int {
        cmsDoTransform(t, in, out, 1);
        return 1;
    };
    cmsStageSampleCLut16bit(grid, sample, toLab, 0);
    // The table's layout in the file wants curves around the grid: identity ones.
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, grid);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(table, cmsSigAToB0Tag, lut);
    cmsWriteTag(table, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(matrix);
    return profileBytes(table);
}

// lcms2's own sRGB profile.
inline std::vector<uint8_t> srgb() {
    return profileBytes(cmsCreate_sRGBProfile());
}

// What lcms2 makes of one colour of icc on an sRGB screen, perceptual intent, as blue,
// green, red; the colour itself when lcms2 cannot take the profile.
struct Bgr {
    uint8_t blue, green, red;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};
inline Bgr toSrgb(const std::vector<uint8_t>& icc, Bgr colour) {
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE screen = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = source && screen ? cmsCreateTransform(source, TYPE_BGR_8, screen, TYPE_BGR_8,
                                                            INTENT_PERCEPTUAL, 0)
                                       : nullptr;
    Bgr out = colour;
    if (t) cmsDoTransform(t, &colour, &out, 1);
    if (t) cmsDeleteTransform(t);
    if (source) cmsCloseProfile(source);
    if (screen) cmsCloseProfile(screen);
    return out;
}

// Whether two colours differ by at most one level in every channel.
inline bool withinOne(const Bgr& a, const Bgr& b) {
    const auto near = [](int x, int y) { return x - y <= 1 && y - x <= 1; };
    return near(a.blue, b.blue) && near(a.green, b.green) && near(a.red, b.red);
}

}  // namespace icc_profiles
