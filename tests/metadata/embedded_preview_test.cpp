// Thumbnails from a camera's EXIF thumbnail: used when it is a JPEG large enough for the
// flavour and shaped as the photo is, turned upright with it; otherwise the photo is decoded.
#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>
#include <string>

#include "browse/thumbnail_cache.h"
#include "tests/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_test;

DibImage flat(int32_t width, int32_t height, RgbQuad colour) {
    DibImage image(width, height, 24, JPEG);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image.setPixelColor(x, y, colour);
    return image;
}

// A red photo whose EXIF thumbnail is green (so the test sees which one was shown).
std::string photoWithPreview(const TempDir& dir, const std::string& name, int32_t width,
                             int32_t height, const Bytes& preview, int orientation) {
    const std::string path = dir.file(name + ".jpg");
    writeBytes(path, encode(flat(width, height, RgbQuad{0, 0, 230, 0}), JPEG, 90));
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::ExifThumb(image->exifData()).setJpegThumbnail(preview.data(), long(preview.size()));
    image->exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
    image->writeMetadata();
    return path;
}

}  // namespace

TEST(EmbeddedPreview, ThumbnailsUseTheCamerasPreviewWhereItFits) {
    const Bytes green = encode(flat(160, 120, RgbQuad{0, 220, 0, 0}), JPEG, 90);
    const struct {
        const char* name;
        int32_t width, height;  // the photo as stored
        Bytes preview;
        int orientation, flavour;
        bool reduced, used;
        int32_t thumbWidth, thumbHeight;  // upright
    } cases[] = {
        {"4:3 photo", 640, 480, green, 1, 0, true, true, 128, 96},
        {"on its side", 640, 480, green, 6, 0, true, true, 96, 128},
        {"3:2 photo, preview padded to 4:3", 600, 400, green, 1, 0, true, false, 128, 85},
        {"flavour larger than the preview", 640, 480, green, 1, 1, true, false, 256, 192},
        {"preview smaller than the flavour", 640, 480,
         encode(flat(80, 60, RgbQuad{0, 220, 0, 0}), JPEG, 90), 1, 0, true, false, 128, 96},
        {"full decoding asked for", 640, 480, green, 1, 0, false, false, 128, 96},
        {"damaged preview", 640, 480, Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x01}, 1, 0, true,
         false, 128, 96},
    };
    TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = photoWithPreview(dir, "photo" + std::to_string(++n), c.width,
                                                  c.height, c.preview, c.orientation);
        thumbnails::CachedThumbnail made;
        ASSERT_TRUE(thumbnails::ThumbnailCache::make(path, JPEG, c.flavour, c.reduced, made));
        EXPECT_EQ(made.image.width(), c.thumbWidth);
        EXPECT_EQ(made.image.height(), c.thumbHeight);
        // The photo's own size, upright, whichever picture the thumbnail came from.
        const bool side = c.orientation >= 5;
        EXPECT_EQ(made.sourceWidth, side ? c.height : c.width);
        EXPECT_EQ(made.sourceHeight, side ? c.width : c.height);
        const RgbQuad centre =
            made.image.getPixelColor(made.image.width() / 2, made.image.height() / 2);
        EXPECT_EQ(centre.green > 150 && centre.red < 80, c.used)
            << int(centre.red) << "," << int(centre.green) << "," << int(centre.blue);
    }
}
