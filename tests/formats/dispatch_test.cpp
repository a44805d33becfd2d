// The format dispatch: which calls fail and with what lastError, what a failed load keeps,
// and how saveToFile treats the target file (untouched on failure, ordinary permissions).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"
#include "support/test_support.h"

namespace {

using testing_support::dataPath;
using testing_support::makeF;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;
using testing_support::writeBytes;

using Bytes = std::vector<uint8_t>;

constexpr const char* kUnsupported = "Unsupported operation for this format";

std::vector<std::string> folderNames(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A paletted picture no JPEG can hold: the way to make a JPEG save fail.
DibImage colourPaletted() {
    DibImage img(7, 5, 8, BMP);
    for (uint32_t i = 0; i < 256; ++i) img.setPaletteColor(i, 0, uint8_t(i), uint8_t(255 - i));
    return img;
}

// Sets the process umask for one scope.
class UmaskScope {
  public:
    explicit UmaskScope(mode_t mask) : old_(umask(mask)) {}
    ~UmaskScope() { umask(old_); }

  private:
    mode_t old_;
};

TEST(DispatchLoad, MissingFileKeepsLastError) {
    TempDir dir;
    DibImage img = makeF();
    img.setLastError("earlier message");
    EXPECT_FALSE(img.loadFromFile(dir.file("no-such.jpg").c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "earlier message");
    EXPECT_EQ(img.width(), 6);
}

TEST(DispatchLoad, UnknownTypesAreUnsupported) {
    const Bytes bytes = readBytes(dataPath("jpeg/colour-420.jpg"));
    for (uint32_t type : {8u, uint32_t(-1), 1000u}) {
        FILE* file = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
        ASSERT_NE(file, nullptr);
        DibImage img;
        {
            ImageStream stream(file);
            EXPECT_FALSE(img.loadFromStream(stream, type)) << type;
        }
        std::fclose(file);
        EXPECT_STREQ(img.lastError(), kUnsupported) << type;
        EXPECT_FALSE(img.isValid());
    }
}

TEST(DispatchSave, PcxAndUnknownTypesAreUnsupported) {
    DibImage img = makeF();
    const DibImage before = makeF();
    for (uint32_t type : {uint32_t(PCX), 8u, uint32_t(-1)}) {
        char* buffer = nullptr;
        size_t size = 0;
        FILE* file = open_memstream(&buffer, &size);
        {
            ImageStream stream(file);
            EXPECT_FALSE(img.saveToStream(stream, type)) << type;
        }
        std::fclose(file);
        EXPECT_EQ(size, 0u) << type;
        std::free(buffer);
        EXPECT_STREQ(img.lastError(), kUnsupported) << type;
        EXPECT_TRUE(sameImage(img, before));
    }
    // The same through saveToFile: no file appears.
    TempDir dir;
    EXPECT_FALSE(img.saveToFile(dir.file("out.pcx").c_str(), PCX));
    EXPECT_STREQ(img.lastError(), kUnsupported);
    EXPECT_TRUE(folderNames(dir).empty());
}

TEST(DispatchLoad, FailedLoadKeepsThePicture) {
    TempDir dir;
    const std::string empty = dir.file("empty.jpg");
    writeBytes(empty, {});
    const std::string gif = dir.file("looks-like.gif");
    writeBytes(gif, {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0});

    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("jpeg/grey.jpg").c_str(), JPEG));
    const DibImage before(img);
    EXPECT_FALSE(img.loadFromFile(empty.c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "Empty input file");
    EXPECT_TRUE(sameImage(img, before));
    EXPECT_EQ(img.type(), uint32_t(JPEG));

    // The dispatch does not sniff: a GIF read as JPEG fails with the JPEG library's text.
    EXPECT_FALSE(img.loadFromFile(gif.c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "Not a JPEG file: starts with 0x47 0x49");
    EXPECT_TRUE(sameImage(img, before));
}

TEST(DispatchLoad, SuccessResetsLastErrorAndSetsType) {
    DibImage img = makeF();
    ASSERT_EQ(img.type(), uint32_t(BMP));
    img.setLastError("left over");
    ASSERT_TRUE(img.loadFromFile(dataPath("jpeg/colour-444.jpg").c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "");
    EXPECT_EQ(img.type(), uint32_t(JPEG));
    EXPECT_EQ(img.width(), 96);
    EXPECT_EQ(img.height(), 64);
}

TEST(DispatchSave, FailedSaveLeavesTargetAndFolderAsTheyWere) {
    TempDir dir;
    const std::string target = dir.file("keep.jpg");
    const Bytes old = {'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};
    writeBytes(target, old);
    DibImage img = colourPaletted();
    EXPECT_FALSE(img.saveToFile(target.c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"keep.jpg"});

    // A failed save of a new name leaves nothing at all behind.
    EXPECT_FALSE(img.saveToFile(dir.file("new.jpg").c_str(), JPEG));
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"keep.jpg"});
}

TEST(DispatchSave, UnwritablePlacesFailWithoutMessage) {
    TempDir dir;
    DibImage img = makeF();
    img.setLastError("before");
    EXPECT_FALSE(img.saveToFile(dir.file("missing-folder/out.jpg").c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "before");
    // A directory is not a file to replace.
    std::filesystem::create_directory(dir.path() / "sub.jpg");
    EXPECT_FALSE(img.saveToFile(dir.file("sub.jpg").c_str(), JPEG));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub.jpg"));
}

TEST(DispatchSave, NewFileGetsOrdinaryPermissions) {
    TempDir dir;
    DibImage img = makeF();
    for (mode_t mask : {mode_t(022), mode_t(027), mode_t(002)}) {
        UmaskScope scope(mask);
        const std::string path = dir.file("mode-" + std::to_string(mask) + ".jpg");
        ASSERT_TRUE(img.saveToFile(path.c_str(), JPEG)) << img.lastError();
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
    }
}

TEST(DispatchSave, ReplacingKeepsTheOldFilesMode) {
    TempDir dir;
    const std::string path = dir.file("private.jpg");
    writeBytes(path, {1, 2, 3});
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    DibImage img = makeF();
    ASSERT_TRUE(img.saveToFile(path.c_str(), JPEG)) << img.lastError();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));
    EXPECT_NE(readBytes(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"private.jpg"});
}

TEST(DispatchSave, SavingTwiceGivesIdenticalFilesAndKeepsTheImage) {
    TempDir dir;
    DibImage img = makeF();
    const DibImage before = makeF();
    ASSERT_TRUE(img.saveToFile(dir.file("a.jpg").c_str(), JPEG));
    ASSERT_TRUE(img.saveToFile(dir.file("b.jpg").c_str(), JPEG));
    EXPECT_EQ(readBytes(dir.file("a.jpg")), readBytes(dir.file("b.jpg")));
    EXPECT_TRUE(sameImage(img, before));
    EXPECT_EQ(img.type(), uint32_t(BMP));  // saving does not change the image's own type
}

}  // namespace
