// A photo's colours on screen through the whole load: a profile embedded by the project's own
// saving (or Adobe RGB marked only in EXIF) reaches the editor's photo and the thumbnails;
// untagged and sRGB photos keep their own values; HEIC colours declared by nclx codes likewise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <exiv2/exiv2.hpp>
#include <string>

#include "browse/thumbnail_maker.h"
#include "enhance/photo_edit.h"
#include "metadata/photo_metadata.h"
#include "support/icc_profiles.h"
#include "tests/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_test;
using icc_profiles::Bgr;

constexpr Bgr kOwn{40, 180, 230};  // an orange, saturated enough to leave sRGB's gamut

DibImage flatPhoto() {
    DibImage image(64, 48, 24, PNG);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            image.setPixelColor(x, y, RgbQuad{kOwn.blue, kOwn.green, kOwn.red, 0});
    return image;
}

Bgr centre(const DibImage& image) {
    const RgbQuad q = image.getPixelColor(image.width() / 2, image.height() / 2);
    return Bgr{q.blue, q.green, q.red};
}

Bgr shownBy(const std::shared_ptr<const DisplayColour>& colour, Bgr c) {
    if (colour) colour->convertRow(&c.blue, 1);
    return c;
}

// EXIF colour space and interoperability index, written with Exiv2.
void markColourSpace(const std::string& path, uint16_t space, const char* interop) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    image->exifData()["Exif.Photo.ColorSpace"] = space;
    image->exifData()["Exif.Iop.InteroperabilityIndex"] = std::string(interop);
    image->writeMetadata();
}

struct Case {
    const char* name;
    uint32_t type;
    Bytes icc;
    uint16_t exifSpace;  // 0: no EXIF colour space
    const char* interop;
    Bytes shownAs;  // the profile the screen must see; empty: the photo's own values
};

std::vector<Case> cases() {
    const Bytes p3 = icc_profiles::displayP3(), adobe = icc_profiles::adobeRgb();
    return {
        {"untagged PNG", PNG, {}, 0, "", {}},
        {"untagged JPEG", JPEG, {}, 0, "", {}},
        {"sRGB PNG", PNG, icc_profiles::srgb(), 0, "", {}},
        {"P3 PNG", PNG, p3, 0, "", p3},
        {"P3 JPEG", JPEG, p3, 0, "", p3},
        {"Adobe RGB PNG", PNG, adobe, 0, "", adobe},
        {"Adobe RGB JPEG", JPEG, adobe, 0, "", adobe},
        {"Adobe RGB by EXIF, JPEG", JPEG, {}, 65535, "R03", adobe},
        // Both marks are needed, and only cameras' JPEG and TIFF files carry them.
        {"sRGB by EXIF, JPEG", JPEG, {}, 1, "R03", {}},
        {"uncalibrated R98, JPEG", JPEG, {}, 65535, "R98", {}},
        {"Adobe RGB by EXIF, PNG", PNG, {}, 65535, "R03", {}},
        {"Adobe RGB by EXIF, TIFF", TIFF, {}, 65535, "R03", adobe},
        {"sRGB by EXIF, TIFF", TIFF, {}, 1, "R03", {}},
        // A phone's HEIC carries its camera's EXIF as a JPEG does.
        {"Adobe RGB by EXIF, HEIC", HEIF, {}, 65535, "R03", adobe},
        {"sRGB by EXIF, HEIC", HEIF, {}, 1, "R03", {}},
        // The embedded profile wins over what EXIF says.
        {"P3 profile, EXIF Adobe RGB", JPEG, p3, 65535, "R03", p3},
    };
}

std::string writeCase(const TempDir& dir, const Case& c) {
    const uint32_t written = c.type == HEIF ? JPEG : c.type;
    const std::string path = dir.file(std::string(c.name) + (written == PNG    ? ".png"
                                                             : written == TIFF ? ".tif"
                                                                               : ".jpg"));
    DibImage image = flatPhoto();
    PhotoMetadata metadata;
    metadata.icc = c.icc;
    if (!saveWithMetadata(image, path, written, &metadata)) return "";
    if (c.exifSpace) markColourSpace(path, c.exifSpace, c.interop);
    if (c.type != HEIF) return path;
    // heif-enc takes the JPEG's EXIF along.
    const std::string heic = path.substr(0, path.size() - 4) + ".heic";
    const std::string command = "heif-enc -q 95 '" + path + "' -o '" + heic + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? heic : "";
}

}  // namespace

TEST(DisplayColourLoad, EditorAndThumbnailsShowTheProfilesColours) {
    TempDir dir;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::string path = writeCase(dir, c);
        ASSERT_FALSE(path.empty());
        PhotoEdit photo;
        ASSERT_TRUE(photo.loadFile(path, 0));
        // JPEG and HEIC keep a flat colour to within their rounding; what is shown starts
        // from that.
        const Bgr own = centre(photo.image);
        if (c.type != JPEG && c.type != HEIF) {
            EXPECT_EQ(own, kOwn);
        }
        const auto colour = photo.displayColour();
        EXPECT_EQ(colour != nullptr, !c.shownAs.empty());
        const Bgr want = c.shownAs.empty() ? own : icc_profiles::toSrgb(c.shownAs, own);
        EXPECT_TRUE(icc_profiles::withinOne(shownBy(colour, own), want));
        if (!c.shownAs.empty()) {
            EXPECT_FALSE(icc_profiles::withinOne(want, own));
        }

        for (bool reduced : {false, true}) {
            DibImage thumb;
            ASSERT_TRUE(thumbnails::makeThumbnail(path, c.type, 16, reduced, thumb));
            if (c.shownAs.empty()) {
                EXPECT_EQ(centre(thumb), own);
            } else {
                EXPECT_TRUE(icc_profiles::withinOne(centre(thumb), want)) << "reduced " << reduced;
            }
        }
    }
}

// Writes the colour primaries and transfer codes into the nclx box of a HEIF/AVIF file (this
// heif-enc leaves its options for them out); false when the file has no such box.
bool setNclxCodes(const std::string& path, uint16_t primaries, uint16_t transfer) {
    Bytes file = readBytes(path);
    const std::string tag = "colrnclx";
    const auto at = std::search(file.begin(), file.end(), tag.begin(), tag.end());
    if (at == file.end() || file.end() - at < 12) return false;
    const auto codes = at + 8;
    codes[0] = uint8_t(primaries >> 8), codes[1] = uint8_t(primaries);
    codes[2] = uint8_t(transfer >> 8), codes[3] = uint8_t(transfer);
    writeBytes(path, file);
    return true;
}

// An AVIF photo that declares its colours only by an nclx box: what the editor and the
// thumbnails show follows the codes; the saved copy keeps the decoded values, tagged.
TEST(DisplayColourLoad, NclxColoursReachTheScreenAndTheCopysProfile) {
    if (std::system("command -v heif-enc >/dev/null 2>&1") != 0) GTEST_SKIP() << "heif-enc missing";
    const struct {
        const char* name;
        uint16_t primaries, transfer;  // 0: heif-enc's own box as it is
        Bytes shownAs;                 // empty: the photo's own values
    } cases[] = {
        {"Display P3", 12, 13, icc_profiles::displayP3()},
        {"sRGB", 1, 13, {}},
        {"heif-enc's unspecified codes", 0, 0, {}},
    };
    TempDir dir;
    const std::string png = dir.file("flat.png");
    DibImage flat = flatPhoto();
    ASSERT_TRUE(saveWithMetadata(flat, png, PNG, nullptr));
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string avif = dir.file("photo" + std::to_string(++n) + ".avif");
        if (std::system(
                ("heif-enc -A -q 95 " + png + " -o " + avif + " >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << "heif-enc writes no AVIF";
        if (c.primaries) {
            ASSERT_TRUE(setNclxCodes(avif, c.primaries, c.transfer));
        }
        PhotoEdit photo;
        ASSERT_TRUE(photo.loadFile(avif, 0));
        const Bgr own = centre(photo.image);
        const auto colour = photo.displayColour();
        ASSERT_EQ(colour != nullptr, !c.shownAs.empty());
        const Bgr want = c.shownAs.empty() ? own : icc_profiles::toSrgb(c.shownAs, own);
        EXPECT_TRUE(icc_profiles::withinOne(shownBy(colour, own), want));
        DibImage thumb;
        ASSERT_TRUE(thumbnails::makeThumbnail(avif, AVIF, 16, false, thumb));
        if (c.shownAs.empty()) {
            EXPECT_EQ(centre(thumb), own);
        } else {
            EXPECT_TRUE(icc_profiles::withinOne(centre(thumb), want));
            EXPECT_FALSE(icc_profiles::withinOne(want, own));
        }

        // The copy (a JPEG) holds the decoded values, within JPEG's rounding, and the profile
        // of the codes, so that it looks as the photo did.
        EXPECT_EQ(centre(photo.image), own);
        ASSERT_TRUE(photo.saveFile(avif, 0));
        const std::string copy = avif.substr(0, avif.size() - 5) + ".jpg";
        PhotoEdit saved;
        ASSERT_TRUE(saved.loadFile(copy, 0));
        const Bgr kept = centre(saved.image);
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(std::abs(int((&kept.blue)[i]) - int((&own.blue)[i])), 2) << i;
        EXPECT_EQ(saved.metadata && saved.metadata->hasIcc(), !c.shownAs.empty());
        EXPECT_EQ(saved.displayColour() != nullptr, !c.shownAs.empty());
        if (!c.shownAs.empty()) {
            EXPECT_TRUE(icc_profiles::withinOne(shownBy(saved.displayColour(), own), want));
        }
    }
}
