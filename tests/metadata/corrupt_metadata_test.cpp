// Metadata Exiv2 cannot read (truncated IFDs, offsets past the end, IFD loops, hostile XMP and
// ICC segments) is ignored: the photo loads and saves exactly as it would without it.
#include <gtest/gtest.h>
#include <algorithm>

#include <random>

#include "metadata/photo_metadata.h"
#include "support/byte_stream_support.h"
#include "tests/metadata/metadata_fixtures.h"
#include "workflow/photo_saving.h"

namespace {

using namespace metadata_test;
using byte_stream_support::put16;
using byte_stream_support::put32;

// One IFD entry: tag, type, count, value or offset.
void entry(Bytes& b, uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    put16(b, tag);
    put16(b, type);
    put32(b, count);
    put32(b, value);
}
Bytes tiffHeader() {
    return {'I', 'I', 42, 0, 8, 0, 0, 0};
}

// A JPEG marker segment of the given kind holding payload.
Bytes segment(uint8_t marker, const std::string& prefix, const Bytes& payload) {
    const size_t length = 2 + prefix.size() + payload.size();
    Bytes s(2 + length);
    s[0] = 0xFF;
    s[1] = marker;
    s[2] = uint8_t(length >> 8);
    s[3] = uint8_t(length);
    std::copy(prefix.begin(), prefix.end(), s.begin() + 4);
    std::copy(payload.begin(), payload.end(), s.begin() + 4 + std::ptrdiff_t(prefix.size()));
    return s;
}
Bytes exifSegment(const Bytes& tiff) {
    return segment(0xE1, std::string("Exif\0\0", 6), tiff);
}

struct Hostile {
    const char* name;
    Bytes segment;
};

std::vector<Hostile> hostileSegments() {
    std::vector<Hostile> list;
    {  // IFD0 promises twelve entries and holds one
        Bytes t = tiffHeader();
        put16(t, 12);
        entry(t, 0x010F, 2, 4, 0x00414141);  // Make "AAA", inline
        list.push_back({"truncated IFD", exifSegment(t)});
    }
    {  // values, the EXIF IFD and the next IFD all past the end
        Bytes t = tiffHeader();
        put16(t, 3);
        entry(t, 0x010F, 2, 40, 0xFFFFFF00);
        entry(t, 0x8769, 4, 1, 0x7FFFFFF0);
        entry(t, 0x0112, 3, 1, 1);
        put32(t, 0xFFFFFFF0);
        list.push_back({"offsets past the end", exifSegment(t)});
    }
    {  // the EXIF, GPS and next IFD pointers all lead back to IFD0
        Bytes t = tiffHeader();
        put16(t, 2);
        entry(t, 0x8769, 4, 1, 8);
        entry(t, 0x8825, 4, 1, 8);
        put32(t, 8);
        list.push_back({"IFD loop", exifSegment(t)});
    }
    {  // two IFDs pointing at each other, the second with a thumbnail past the end
        Bytes t = tiffHeader();
        put16(t, 1);
        entry(t, 0x0112, 3, 1, 1);
        put32(t, 26);
        put16(t, 2);
        entry(t, 0x0201, 4, 1, 0x00FFFFFF);
        entry(t, 0x0202, 4, 1, 0x7FFFFFFF);
        put32(t, 8);
        list.push_back({"IFD1 loop with a thumbnail past the end", exifSegment(t)});
    }
    {  // element counts that overflow any size computation
        Bytes t = tiffHeader();
        put16(t, 2);
        entry(t, 0x010F, 2, 0xFFFFFFFF, 26);
        entry(t, 0x0110, 5, 0x40000000, 26);
        put32(t, 0);
        list.push_back({"huge counts", exifSegment(t)});
    }
    list.push_back({"header only", exifSegment({'I', 'I', 42, 0})});
    list.push_back(
        {"first IFD past the end", exifSegment({'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0})});
    {
        Bytes t = tiffHeader();
        std::mt19937 rng(14);
        for (int i = 0; i < 2000; ++i) t.push_back(uint8_t(rng()));
        list.push_back({"random IFD bytes", exifSegment(t)});
    }
    {
        const std::string xmp =
            "<?xpacket begin=''?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:De";
        list.push_back({"unfinished XMP packet",
                        segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29),
                                Bytes(xmp.begin(), xmp.end()))});
    }
    {  // ICC chunk 3 of 2, declaring a profile far larger than the segment
        Bytes icc = {3, 2, 0x7F, 0xFF, 0xFF, 0xFF};
        icc.resize(200, 0x41);
        list.push_back(
            {"ICC chunk out of range", segment(0xE2, std::string("ICC_PROFILE\0", 12), icc)});
    }
    return list;
}

TEST(CorruptMetadata, PhotosLoadAndSaveAsWithoutIt) {
    TempDir dir;
    const Bytes clean = encode(uprightCard(), JPEG, 90);
    DibImage decodedClean;
    ASSERT_TRUE(decodedClean.loadFromFile(
        (writeBytes(dir.file("clean.jpg"), clean), dir.file("clean.jpg")).c_str(), JPEG));

    for (const Hostile& h : hostileSegments()) {
        SCOPED_TRACE(h.name);
        Bytes file(clean.begin(), clean.begin() + 2);  // SOI, then the hostile segment
        file.insert(file.end(), h.segment.begin(), h.segment.end());
        file.insert(file.end(), clean.begin() + 2, clean.end());
        const std::string source = dir.file("hostile.jpg");
        writeBytes(source, file);

        // Reading never throws, from a file or from memory.
        const PhotoMetadata fromFile = readMetadata(source);
        const PhotoMetadata fromMemory = readMetadata(file.data(), file.size());
        EXPECT_EQ(fromFile.orientation, fromMemory.orientation);

        PhotoEdit photo;
        ASSERT_TRUE(loadForSaving(source, photo));
        std::string why;
        EXPECT_TRUE(sameImage(photo.image, decodedClean, &why)) << why;

        for (const char* name : {"enh_hostile.jpg", "enh_hostile.png"}) {
            PhotoEdit copy;
            ASSERT_TRUE(loadForSaving(source, copy));
            ASSERT_TRUE(
                enhanceAndWrite(copy, EnhancementSettings{}, dir.file(name), nullptr, false))
                << name;
            const uint32_t type = std::string(name).find(".png") != std::string::npos ? PNG : JPEG;
            DibImage saved, plain;
            ASSERT_TRUE(saved.loadFromFile(dir.file(name).c_str(), type)) << name;
            ASSERT_TRUE(photo.image.saveToFile(dir.file("plain").c_str(), type));
            ASSERT_TRUE(plain.loadFromFile(dir.file("plain").c_str(), type));
            EXPECT_TRUE(sameImage(saved, plain, &why)) << name << ": " << why;
        }
    }
}

TEST(CorruptMetadata, ApplyingBrokenBlocksLeavesTheFileAlone) {
    // Blocks that did not come from Exiv2 (a fuzzer's or a hostile caller's): what can be
    // written is, upright; the picture stays the same.
    const Bytes clean = encode(uprightCard(), JPEG);
    PhotoMetadata broken;
    broken.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF};
    broken.xmp = "<x:xmpmeta";
    broken.iptc = {0x1C, 0x02, 0x78, 0xFF, 0xFF};
    Bytes file = clean;
    applyMetadata(file, JPEG, broken, 64, 48);
    const PhotoMetadata back = readMetadata(file.data(), file.size());
    EXPECT_LE(back.orientation, 1);
    EXPECT_TRUE(back.xmp.empty());  // the unfinished packet is refused
    // Whatever Exiv2 kept, the picture is the same.
    DibImage a, b;
    TempDir dir;
    writeBytes(dir.file("a.jpg"), clean);
    writeBytes(dir.file("b.jpg"), file);
    ASSERT_TRUE(a.loadFromFile(dir.file("a.jpg").c_str(), JPEG));
    ASSERT_TRUE(b.loadFromFile(dir.file("b.jpg").c_str(), JPEG));
    EXPECT_TRUE(sameImage(a, b));
    // Not a JPEG at all: refused, untouched.
    Bytes notJpeg = {1, 2, 3, 4, 5};
    PhotoMetadata some;
    some.comment = "x";
    EXPECT_FALSE(applyMetadata(notJpeg, JPEG, some, 1, 1));
    EXPECT_EQ(notJpeg, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_FALSE(applyMetadata(file, BMP, some, 1, 1));
}

TEST(CorruptMetadata, ARefusedBlockDoesNotTakeTheOthersAlong) {
    TempDir dir;
    const std::string source = dir.file("photo.jpg");
    writeBytes(source, encode(uprightCard(), JPEG));
    addFullMetadata(source, 1);
    PhotoMetadata metadata = readMetadata(source);
    ASSERT_EQ(metadata.cameraMake, kMake);
    metadata.icc.assign(500, 7);  // its size field says 0x07070707
    Bytes file = encode(uprightCard(), JPEG);
    ASSERT_TRUE(applyMetadata(file, JPEG, metadata, 64, 48));
    const PhotoMetadata back = readMetadata(file.data(), file.size());
    EXPECT_EQ(back.cameraMake, kMake);
    EXPECT_EQ(back.dateTaken, kDate);
    EXPECT_NE(back.xmp.find(kTitle), std::string::npos);
    EXPECT_FALSE(back.iptc.empty());
    EXPECT_EQ(back.comment, kComment);
    EXPECT_TRUE(back.icc.empty());
}

}  // namespace
