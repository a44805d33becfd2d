// The decode budget from the codecs' side: a budget set on the image before a load lowers the
// file's own, and each decoder's working buffers count in it beside the picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "support/test_support.h"

using testing_support::dataPath;

namespace {

const char* const kTooShort = "Image data too short for the picture's size";

// What the loaded picture itself takes: block (header, palette, rows) and alpha plane.
uint64_t pictureBytes(const DibImage& img) {
    return img.totalSize() + (img.hasAlpha() ? uint64_t(img.width()) * uint64_t(img.height()) : 0);
}

struct Case {
    const char* file;
    uint32_t type;
    bool works;  // the decoder needs working memory beside the picture
};

}  // namespace

TEST(DecodeBudget, WorkingBuffersCountBesideThePicture) {
    const std::vector<Case> cases = {
        {"bmp/bmp32-v5.bmp", BMP, true},         // a line of 32-bit pixels
        {"bmp/bmp16-565-v5.bmp", BMP, true},     // a line of 16-bit pixels
        {"bmp/bmp8.bmp", BMP, true},             // the colour table as read
        {"bmp/bmp24.bmp", BMP, false},           // rows read straight into the picture
        {"gif/gif89a.gif", GIF, true},           // index line, packed line, read-ahead
        {"tga/im-24-tl.tga", TGA, true},         // a line of stored pixels
        {"tga/pil-8map.tga", TGA, true},         // the colour map as read
        {"tga/im-32.tga", TGA, true},            // a line, beside picture and alpha plane
        {"ico/im-4mask.ico", ICO, true},         // the mask
        {"ico/im-32.ico", ICO, true},            // a line of 32-bit pixels
        {"pcx/pil-24.pcx", PCX, true},           // one decoded line of all planes
        {"tiff/rgb-deflate.tif", TIFF, true},    // the RGBA raster and libtiff's strip
        {"tiff/grey8-strips3.tif", TIFF, true},  // the strip buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dataPath(c.file);
        DibImage free;
        ASSERT_TRUE(free.loadFromFile(path.c_str(), c.type)) << free.lastError();
        const uint64_t picture = pictureBytes(free);

        // Just the picture: enough only for a decoder that needs nothing else.
        DibImage tight;
        tight.setDecodeBudget(picture);
        EXPECT_EQ(tight.loadFromFile(path.c_str(), c.type), !c.works) << tight.lastError();
        if (c.works) {
            EXPECT_STREQ(tight.lastError(), kTooShort);
            EXPECT_FALSE(tight.isValid());
        }
        // A little less than the picture refuses every file; a megabyte more loads each.
        DibImage less;
        less.setDecodeBudget(picture - 1);
        EXPECT_FALSE(less.loadFromFile(path.c_str(), c.type));
        EXPECT_STREQ(less.lastError(), kTooShort);
        DibImage roomy;
        roomy.setDecodeBudget(picture + (uint64_t(1) << 20));
        EXPECT_TRUE(roomy.loadFromFile(path.c_str(), c.type)) << roomy.lastError();
        EXPECT_EQ(roomy.width(), free.width());
    }
}
