// PhotoEdit's file rules: read by content (or selector), written as the lower-cased file
// name's extension says (full colour under a GIF name as JPEG ".jpg", PCX as PNG), and
// loading only what is a readable regular file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "enhance/photo_edit.h"
#include "support/test_support.h"

using testing_support::TempDir;

TEST(PhotoFiles, WrittenFormatFromTheExtensionOfTheFileName) {
    const struct {
        const char* path;
        uint32_t type;
    } cases[] = {
        {"/p/a.JPG", JPEG},
        {"/p/a.jpeg", JPEG},
        {"/p/a.bmp", BMP},
        {"/p/a.DIB", BMP},
        {"/p/a.PNG", PNG},
        {"/p/a.Gif", GIF},
        {"/p/a.tif", TIFF},
        {"/p/a.TIFF", TIFF},
        {"/p/a.tga", TGA},
        {"/p/a.ico", ICO},
        {"/p/a.cur", ICO},
        {"/p/a.pcx", PCX},
        // The last extension decides; no quirks of text found inside the name.
        {"/p/a.jpg.png", PNG},
        {"/p/a.png.bmp", BMP},
        {"/p/x.bmpx", JPEG},
        {"/p/notes.jpg.txt", JPEG},
        // None: JPEG, as is a name that is only an extension.
        {"noext", JPEG},
        {"/p/.bmp", JPEG},
        {"/p/a.txt", JPEG},
        // Folders do not decide: a dotted folder name is common on Linux.
        {"/p/shots.bmp.d/a.png", PNG},
        {"/p/x.gif/readme", JPEG},
    };
    for (const auto& c : cases) EXPECT_EQ(PhotoEdit::typeForName(c.path), c.type) << c.path;
}

TEST(PhotoFiles, SaveTargetLowerCasesTheNameAndTurnsFullColourGifIntoJpeg) {
    const struct {
        const char* path;
        int selector;
        uint32_t bits;
        const char* written;  // nullptr: refused
        uint32_t type;
    } cases[] = {
        // The folder keeps its case and its dot.
        {"/Out.Dir/enh_IMG.GIF", 0, 24, "/Out.Dir/enh_img.jpg", JPEG},
        {"/Out.Dir/enh_IMG.GIF", 0, 8, "/Out.Dir/enh_img.gif", GIF},
        {"/Photos/Enh_A.JPEG", 0, 24, "/Photos/enh_a.jpeg", JPEG},
        {"/P/enh_z.DIB", 0, 24, "/P/enh_z.dib", BMP},
        // PCX is only read: such a name is written as PNG under ".png".
        {"/P.x/Scan.PCX", 0, 8, "/P.x/scan.png", PNG},
        {"/P/enh_t.TIF", 0, 24, "/P/enh_t.tif", TIFF},
        {"/P/enh_c.PNG", 0, 24, "/P/enh_c.png", PNG},
        // The extension is replaced from the last dot of the file name; without one ".jpg"
        // is appended. A selector keeps the name's case.
        {"/a.b/Pic.Tar.gif", 0, 24, "/a.b/pic.tar.jpg", JPEG},
        {"/a.b/Pic", 2, 24, "/a.b/Pic.jpg", JPEG},
        {"/a.b/Pic.GIF", 2, 1, "/a.b/Pic.GIF", GIF},
        {"/x/A.GIF", 1, 24, "/x/A.GIF", JPEG},
        {"/x/A.GIF", 3, 24, "/x/A.GIF", PNG},
        {"/x/A.GIF", 4, 24, "/x/A.GIF", BMP},
        {"", 0, 24, nullptr, 0},
        {"/x/a.jpg", 5, 24, nullptr, 0},
        {"/x/a.jpg", -1, 24, nullptr, 0},
    };
    for (const auto& c : cases) {
        const SaveTarget t = PhotoEdit::saveTarget(c.path, c.selector, c.bits);
        SCOPED_TRACE(std::string(c.path) + " selector " + std::to_string(c.selector));
        EXPECT_EQ(t.ok, c.written != nullptr);
        if (!c.written) continue;
        EXPECT_EQ(t.path, c.written);
        EXPECT_EQ(t.type, c.type);
    }
}

TEST(PhotoFiles, LoadReadsOnlyRegularFilesAndEmptiesOnFailure) {
    TempDir dir;
    PhotoEdit photo;
    photo.image = testing_support::makeF();
    photo.load(dir.file("missing.jpg"));
    EXPECT_EQ(photo.fileName, dir.file("missing.jpg"));
    EXPECT_EQ(photo.width(), 0);  // the old picture does not linger
    // Each failure says why.
    EXPECT_EQ(std::string(photo.image.lastError()),
              "cannot open " + dir.file("missing.jpg") + ": No such file or directory");

    const std::string pipe = dir.file("pipe.jpg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(photo.loadFile(pipe, 0));  // would block forever if opened
    std::filesystem::create_directory(dir.path() / "folder.png");
    EXPECT_FALSE(photo.loadFile(dir.file("folder.png"), 0));

    EXPECT_STRNE(photo.image.lastError(), "");
    testing_support::writeBytes(dir.file("junk.jpg"), {1, 2, 3, 4});
    EXPECT_FALSE(photo.loadFile(dir.file("junk.jpg"), 0));
    EXPECT_STRNE(photo.image.lastError(), "");
    EXPECT_FALSE(photo.loadFile(dir.file("junk.jpg"), 9));
    EXPECT_EQ(photo.width(), 0);

    PhotoEdit none;
    none.load("");
    EXPECT_EQ(none.fileName, "");
    EXPECT_EQ(none.width(), 0);
}

TEST(PhotoFiles, SaveRefusesEmptyPathsAndUnknownSelectors) {
    TempDir dir;
    PhotoEdit photo;
    photo.image = testing_support::makeF();
    EXPECT_FALSE(photo.saveFile("", 0));
    EXPECT_FALSE(photo.saveFile(dir.file("a.bmp"), 7));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.bmp")));
}

TEST(PhotoFiles, SavingAndLoadingByName) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "Out.Dir");
    PhotoEdit photo;
    photo.image = testing_support::randomImage(12, 7, 24, 3);
    // A full-colour picture under a GIF name: JPEG data at the lower-cased .jpg name, in the
    // same (dotted, upper-case) folder.
    ASSERT_TRUE(photo.saveFile(dir.file("Out.Dir/enh_IMG.GIF"), 0));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Out.Dir/enh_IMG.GIF")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Out.Dir/enh_img.gif")));
    const auto jpeg = testing_support::readBytes(dir.file("Out.Dir/enh_img.jpg"));
    ASSERT_GE(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);

    // Lossless formats come back as they were; loading opens the path as given.
    for (const char* name : {"Shot.PNG", "Shot.BMP"}) {
        ASSERT_TRUE(photo.saveFile(dir.file(name), 0)) << name;
        std::string lower = name;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        PhotoEdit back;
        back.load(dir.file(lower));
        EXPECT_EQ(back.fileName, dir.file(lower));
        EXPECT_TRUE(testing_support::sameImage(back.image, photo.image)) << name;
    }
    // An upper-case name on disk is found as given.
    std::filesystem::rename(dir.file("shot.png"), dir.file("IMG_1.PNG"));
    PhotoEdit upper;
    upper.load(dir.file("IMG_1.PNG"));
    EXPECT_TRUE(testing_support::sameImage(upper.image, photo.image));
    // A selector overrides the name: PNG data under a .jpg name. Read by name it still
    // loads, as the content decides; a selector naming another format fails.
    ASSERT_TRUE(photo.saveFile(dir.file("Forced.jpg"), 3));
    PhotoEdit forced;
    EXPECT_TRUE(forced.loadFile(dir.file("Forced.jpg"), 0));
    EXPECT_TRUE(testing_support::sameImage(forced.image, photo.image));
    EXPECT_TRUE(forced.loadFile(dir.file("Forced.jpg"), 3));
    EXPECT_TRUE(testing_support::sameImage(forced.image, photo.image));
    EXPECT_FALSE(forced.loadFile(dir.file("Forced.jpg"), 1));
    // A paletted picture under a GIF name stays GIF.
    PhotoEdit paletted;
    paletted.image = testing_support::randomImage(5, 5, 8, 4);
    ASSERT_TRUE(paletted.saveFile(dir.file("Pal.GIF"), 0));
    const auto gif = testing_support::readBytes(dir.file("pal.gif"));
    ASSERT_GE(gif.size(), 3u);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 3), "GIF");
}
