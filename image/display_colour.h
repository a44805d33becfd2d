// What a photo's colours look like on an sRGB screen: its embedded ICC profile converted to
// sRGB through lcms2, only for what is shown; the pictures and the saved files keep their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/surface.h"

class DibImage;

class DisplayColour {
  public:
    // The transform of a photo's profile, made once per profile and shared (threads too).
    // Null when nothing is to be converted: no profile, one lcms2 cannot use as an RGB
    // source, or one that gives every colour back as it is (sRGB itself).
    static std::shared_ptr<const DisplayColour> forProfile(const std::vector<uint8_t>& icc);
    // As forProfile for the Adobe RGB (1998) profile, for photos that say so only in EXIF.
    static std::shared_ptr<const DisplayColour> forAdobeRgb();
    // The Adobe RGB (1998) profile itself, as ICC bytes.
    static std::vector<uint8_t> adobeRgbProfile();
    // As forProfile for colours declared by their H.273 codes (a HEIF or AVIF nclx box):
    // primaries such as 1 (BT.709, sRGB's), 9 (BT.2020), 11 and 12 (DCI-P3, Display P3) and
    // a transfer such as 13 (sRGB's), 1 (BT.709) or 8 (linear). Null for sRGB itself and
    // for what has no profile here (unknown primaries, the HDR transfers PQ and HLG), which
    // are shown with their own values; 2 (unspecified) is taken as sRGB's.
    static std::shared_ptr<const DisplayColour> forCicp(int primaries, int transfer);
    // The profile of those codes, as ICC bytes; empty where forCicp gives null.
    static std::vector<uint8_t> cicpProfile(int primaries, int transfer);

    ~DisplayColour();
    DisplayColour(const DisplayColour&) = delete;
    DisplayColour& operator=(const DisplayColour&) = delete;

    // count pixels of blue, green, red bytes, in place.
    void convertRow(uint8_t* bgr, size_t count) const;
    // The pixels of rect (clipped to the surface), in place.
    void convertSurface(Surface& surface, const SurfaceRect& rect) const;
    // A 24-bit picture's pixels, or a paletted one's colour table; the other bytes stay.
    // False on an empty picture.
    bool convertImage(DibImage& image) const;

    // The rendering intent (lcms2's numbering): perceptual.
    static constexpr uint32_t kIntent = 0;

    // Whether rows go through the tables below rather than lcms2's own transform.
    bool separable() const { return tables_ != nullptr; }
    // Whether rows go through a grid of lcms2's colours (a table profile).
    bool gridded() const { return grid_ != nullptr; }

  private:
    struct Tables;
    struct Grid;
    DisplayColour() = default;
    static std::shared_ptr<const DisplayColour> make(const std::vector<uint8_t>& icc);

    // lcms2's transform, which does every profile (cmsHTRANSFORM).
    void* transform_ = nullptr;
    // For a matrix-and-curves profile, what lcms2 gives of each channel alone in linear light
    // and lcms2's sRGB encoding of the sum: the same colours, several times faster.
    std::unique_ptr<const Tables> tables_;
    // For any other profile: lcms2's colours on a grid through the cube, interpolated.
    std::unique_ptr<const Grid> grid_;
};
