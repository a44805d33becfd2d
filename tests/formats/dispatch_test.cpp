// The format dispatch: which calls fail and with what lastError, what a failed load keeps,
// what a save leaves of the image, and how saveToFile treats the target file.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"
#include "support/byte_stream_support.h"
#include "support/test_support.h"

namespace {

using byte_stream_support::loadBytes;
using byte_stream_support::saveBytes;
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

TEST(DispatchLoad, UnknownTypesAreUnsupported) {
    const Bytes bytes = readBytes(dataPath("jpeg/colour-420.jpg"));
    for (uint32_t type : {99u, uint32_t(-1), 1000u}) {
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
    for (uint32_t type : {uint32_t(PCX), 99u, uint32_t(-1)}) {
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

// --- saving leaves the image as it was ---

// Everything a save could touch: the header, the whole block (header copy, palette, pixels),
// the alpha plane, every info field, and where the buffers are.
struct ImageState {
    BitmapInfoHeader header;
    ImageInfo info;
    const uint8_t* block = nullptr;
    const uint8_t* alpha = nullptr;
    Bytes blockBytes, alphaBytes;

    explicit ImageState(const DibImage& img)
        : header(img.header), info(img.info), block(img.block()), alpha(img.alphaPlane()) {
        if (block) blockBytes.assign(block, block + img.totalSize());
        if (alpha) alphaBytes.assign(alpha, alpha + size_t(img.width()) * img.height());
    }
};

// Names the first difference between two states, or "" when there is none.
std::string difference(const ImageState& a, const ImageState& b) {
    if (std::memcmp(&a.header, &b.header, sizeof a.header) != 0) return "header";
    if (a.block != b.block || a.blockBytes != b.blockBytes) return "block";
    if (a.alpha != b.alpha || a.alphaBytes != b.alphaBytes) return "alpha plane";
    const ImageInfo &i = a.info, &j = b.info;
    const std::pair<const char*, bool> fields[] = {
        {"stride", i.stride == j.stride},
        {"pixels", i.pixels == j.pixels},
        {"owner", i.owner == j.owner},
        {"type", i.type == j.type},
        {"colorType", i.colorType == j.colorType},
        {"lastError", std::strcmp(i.lastError, j.lastError) == 0},
        {"backgroundIndex", i.backgroundIndex == j.backgroundIndex},
        {"backgroundColour", i.backgroundColour == j.backgroundColour},
        {"jpegQuality", i.jpegQuality == j.jpegQuality},
        {"frames", i.frameIndex == j.frameIndex && i.frameCount == j.frameCount &&
                       i.frameDelay == j.frameDelay},
        {"dpi", i.xDpi == j.xDpi && i.yDpi == j.yDpi},
        {"alphaMax", i.alphaMax == j.alphaMax},
        {"alphaPaletteEnabled", i.alphaPaletteEnabled == j.alphaPaletteEnabled},
        {"offsets", i.xOffset == j.xOffset && i.yOffset == j.yOffset},
    };
    for (const auto& [name, same] : fields)
        if (!same) return name;
    return "";
}

struct SaveCase {
    const char* name;
    uint32_t type;
    uint32_t bits;
    bool alpha;
    int32_t transparentIndex;  // -1 for none; on 24 bits the colour of pixel (1, 1) is keyed
    bool paletteAlpha;
    bool greyRamp;
};

// Every format at the depths it writes, with the transparency each treats specially.
const SaveCase kSaveCases[] = {
    {"BMP 1", BMP, 1, false, -1, false, false},
    {"BMP 4", BMP, 4, false, -1, false, false},
    {"BMP 8", BMP, 8, false, -1, false, false},
    {"BMP 24 alpha", BMP, 24, true, -1, false, false},
    {"GIF 1", GIF, 1, false, -1, false, false},
    {"GIF 4", GIF, 4, false, -1, false, false},
    {"GIF 8 key", GIF, 8, false, 5, false, false},
    {"JPEG 24", JPEG, 24, false, -1, false, false},
    {"JPEG 8 grey", JPEG, 8, false, -1, false, true},
    {"PNG 1 key", PNG, 1, false, 1, false, false},
    {"PNG 4 key", PNG, 4, false, 9, false, false},
    {"PNG 8 key", PNG, 8, false, 5, false, false},
    {"PNG 8 palette alpha", PNG, 8, false, -1, true, false},
    {"PNG 24", PNG, 24, false, -1, false, false},
    {"PNG 24 alpha", PNG, 24, true, -1, false, false},
    {"PNG 24 key", PNG, 24, false, 0, false, false},
    {"PNG 24 alpha key", PNG, 24, true, 0, false, false},
    {"TIFF 1", TIFF, 1, false, -1, false, false},
    {"TIFF 4", TIFF, 4, false, -1, false, false},
    {"TIFF 8 grey", TIFF, 8, false, -1, false, true},
    {"TIFF 8 palette", TIFF, 8, false, -1, false, false},
    {"TIFF 24 alpha", TIFF, 24, true, -1, false, false},
    {"TGA 8", TGA, 8, false, -1, false, false},
    {"TGA 24", TGA, 24, false, -1, false, false},
    {"TGA 24 alpha", TGA, 24, true, -1, false, false},
    {"ICO 1", ICO, 1, false, -1, false, false},
    {"ICO 4 key", ICO, 4, false, 3, false, false},
    {"ICO 8 alpha", ICO, 8, true, -1, true, false},
};

DibImage pictureFor(const SaveCase& c, uint32_t seed) {
    DibImage img = testing_support::randomImage(13, 7, c.bits, seed, c.alpha);
    if (c.greyRamp) img.setGrayPalette();
    img.info.backgroundIndex = c.transparentIndex;
    if (c.bits == 24 && c.transparentIndex >= 0)
        img.info.backgroundColour = img.getPixelColor(1, 1);
    if (c.paletteAlpha) {
        img.info.alphaPaletteEnabled = true;
        for (uint32_t i = 0; i < img.header.colorsUsed; ++i) {
            RgbQuad q = img.getPaletteColor(i);
            q.reserved = uint8_t(i * 37);
            img.setPaletteColor(i, q);
        }
    }
    img.info.alphaMax = 200;
    img.info.frameDelay = 40;
    img.info.xOffset = 3;
    // The header in the object and its copy at the front of the block may differ; a save
    // must not bring them in line.
    img.header.xPelsPerMeter = 1234;
    return img;
}

TEST(DispatchSave, SavingLeavesEveryByteOfTheImage) {
    TempDir dir;
    uint32_t seed = 1;
    for (const SaveCase& c : kSaveCases) {
        SCOPED_TRACE(c.name);
        const DibImage img = pictureFor(c, seed++);
        const ImageState before(img);

        bool ok = false;
        const Bytes first = saveBytes(img, c.type, &ok);
        ASSERT_TRUE(ok) << img.lastError();
        EXPECT_EQ(difference(ImageState(img), before), "");

        // Saved again, to memory and to a file: the same bytes, and still nothing changed.
        EXPECT_EQ(saveBytes(img, c.type, &ok), first);
        const std::string path = dir.file(std::string(c.name) + ".out");
        ASSERT_TRUE(img.saveToFile(path.c_str(), c.type)) << img.lastError();
        EXPECT_EQ(readBytes(path), first);
        EXPECT_EQ(difference(ImageState(img), before), "");

        // A deep copy writes the same file: the save did not depend on the image's history.
        EXPECT_EQ(saveBytes(DibImage(img), c.type, &ok), first);
    }
}

TEST(DispatchSave, FailedSavesLeaveTheImageToo) {
    // Each format's refusals, on pictures that reach as far into the writer as they can.
    struct Case {
        uint32_t type;
        uint32_t bits;
        int32_t width;
        const char* message;
    };
    const Case cases[] = {
        {GIF, 24, 5, "GIF Images must be 8 bit or less"},
        {JPEG, 4, 5, "JPEG can save only RGB or GreyScale images"},
        {TGA, 4, 5, "Bit depth must be 8 or 24"},
        {ICO, 8, 300, "Can't save this image as icon"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DibImage img = testing_support::randomImage(c.width, 4, c.bits, 3, true);
        img.info.backgroundIndex = 1;
        const ImageState before(img);
        bool ok = true;
        saveBytes(img, c.type, &ok);
        EXPECT_FALSE(ok);
        EXPECT_STREQ(img.lastError(), c.message);
        ImageState after(img);
        std::strcpy(after.info.lastError, "");
        EXPECT_EQ(difference(after, before), "");
    }
}

TEST(DispatchSave, SuccessClearsTheLastMessage) {
    TempDir dir;
    DibImage img = makeF();
    img.setLastError("left over");
    ASSERT_TRUE(img.saveToFile(dir.file("f.png").c_str(), PNG));
    EXPECT_STREQ(img.lastError(), "");
    img.setLastError("left over");
    bool ok = false;
    saveBytes(img, BMP, &ok);
    ASSERT_TRUE(ok);
    EXPECT_STREQ(img.lastError(), "");
}

// --- input and output failures say what the system said ---

// Runs check as a user without privileges: directly when the tests run as one already, else
// in a child process that drops to the ids of "nobody". Returns what check reports ("" when
// it passed), or "skip: ..." when no unprivileged user can be had.
std::string asUnprivilegedUser(const std::function<std::string()>& check) {
    if (geteuid() != 0) return check();
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        close(fds[0]);
        const uid_t nobody = 65534;
        std::string result;
        if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
            setresuid(nobody, nobody, nobody) != 0)
            result = "skip: cannot drop to an unprivileged user";
        else
            result = check();
        if (write(fds[1], result.data(), result.size()) < 0) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += " (child failed)";
    return out;
}

// "" when the call gave the result and message expected, else what it gave.
std::string expectFailure(bool ok, const DibImage& img, const std::string& message) {
    if (ok) return "succeeded";
    if (message != img.lastError()) return std::string("said \"") + img.lastError() + "\"";
    return "";
}

TEST(DispatchFiles, InputAndOutputFailuresNameTheirCause) {
    TempDir dir;
    const std::string missing = dir.file("no-such.png");
    const std::string inMissingFolder = dir.file("missing-folder/out.png");
    const std::string folder = dir.file("folder.png");
    std::filesystem::create_directory(folder);
    DibImage img = makeF();

    struct Case {
        const char* what;
        std::function<bool(DibImage&)> call;
        std::string message;
    };
    const Case cases[] = {
        {"load missing", [&](DibImage& i) { return i.loadFromFile(missing.c_str(), PNG); },
         "cannot open " + missing + ": No such file or directory"},
        {"load folder", [&](DibImage& i) { return i.loadFromFile(folder.c_str(), PNG); },
         "cannot read " + folder + ": Is a directory"},
        {"save in missing folder",
         [&](DibImage& i) { return i.saveToFile(inMissingFolder.c_str(), PNG); },
         "cannot open " + inMissingFolder + ": No such file or directory"},
        {"save over folder", [&](DibImage& i) { return i.saveToFile(folder.c_str(), PNG); },
         "cannot write " + folder + ": Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        img.setLastError("earlier message");
        EXPECT_EQ(expectFailure(c.call(img), img, c.message), "");
        EXPECT_TRUE(sameImage(img, makeF()));
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"folder.png"});
}

TEST(DispatchFiles, AWriteThatFailsHalfwayNamesTheCauseAndKeepsTheOldFile) {
    // A file size limit makes the system refuse the write part-way through the picture.
    TempDir dir;
    const std::string path = dir.file("big.bmp");
    const Bytes old = {'o', 'l', 'd'};
    writeBytes(path, old);
    const int pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const DibImage img = testing_support::randomImage(100, 100, 24, 1);
        const bool ok = img.saveToFile(path.c_str(), BMP);
        const std::string expected = "cannot write " + path + ": File too large";
        _exit(ok ? 1 : expected == img.lastError() ? 0 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: another message";
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"big.bmp"});
}

TEST(DispatchFiles, FilesTheUserMayNotTouchAreLeftAsTheyWere) {
    TempDir dir;
    // A folder everyone may write to, holding a file no one may write and one no one may read.
    const std::filesystem::path open = dir.path() / "open";
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::all);
    const std::string readOnly = (open / "read-only.png").string();
    const std::string unreadable = (open / "unreadable.png").string();
    const Bytes old = {'o', 'l', 'd'};
    writeBytes(readOnly, old);
    writeBytes(unreadable, old);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
    // A folder no one may write to.
    const std::filesystem::path closed = dir.path() / "closed";
    std::filesystem::create_directory(closed);
    std::filesystem::permissions(
        closed, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                    std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const std::string inClosed = (closed / "new.png").string();
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);

    const std::string report = asUnprivilegedUser([&] {
        std::string failures;
        auto check = [&](const char* what, std::string problem) {
            if (!problem.empty()) failures += std::string(what) + ": " + problem + "; ";
        };
        DibImage img = makeF();
        check("overwrite read-only",
              expectFailure(img.saveToFile(readOnly.c_str(), PNG), img,
                            "cannot write " + readOnly + ": Permission denied"));
        check("new file in closed folder",
              expectFailure(img.saveToFile(inClosed.c_str(), PNG), img,
                            "cannot open " + inClosed + ": Permission denied"));
        check("load unreadable",
              expectFailure(img.loadFromFile(unreadable.c_str(), PNG), img,
                            "cannot open " + unreadable + ": Permission denied"));
        if (!sameImage(img, makeF())) failures += "the picture changed; ";
        return failures;
    });
    if (report.rfind("skip:", 0) == 0) GTEST_SKIP() << report;
    EXPECT_EQ(report, "");
    EXPECT_EQ(readBytes(readOnly), old);
    struct stat st {};
    ASSERT_EQ(stat(readOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0444));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(open))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"read-only.png", "unreadable.png"}));
    EXPECT_TRUE(std::filesystem::is_empty(closed));
}

// --- the pixel cap's refusal reaches the message of every decoder ---

// 16385 x 16385 is just over the pixel cap. Each file below is as long as the smallest
// encoding of a picture that size in its format could be, so nothing but the cap refuses it.
constexpr uint32_t kHuge = 16385;
constexpr size_t kHugePixels = size_t(kHuge) * kHuge;
constexpr size_t kHugeRowBytes = (kHuge + 31) / 32 * 4;  // a one-bit row padded to 4 bytes
constexpr size_t kHugeBitmapBytes = kHugeRowBytes * kHuge;

using namespace byte_stream_support;

void appendZeros(Bytes& b, size_t n) {
    b.resize(b.size() + n, 0);
}

void putInfoHeader(Bytes& b, uint32_t height, uint32_t bits, uint32_t compression,
                   uint32_t imageSize) {
    put32(b, 40);
    put32(b, kHuge);
    put32(b, height);
    put16(b, 1);
    put16(b, bits);
    put32(b, compression);
    put32(b, imageSize);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 2);
    put32(b, 0);
    put32(b, 0);           // black
    put32(b, 0x00FFFFFF);  // white
}

Bytes hugeBmp() {
    // Run-length coded: runs of 255 pixels, two bytes each.
    const size_t data = kHugePixels / 255 * 2 + 2;
    Bytes b = {'B', 'M'};
    put32(b, uint32_t(14 + 40 + 8 + data));
    put32(b, 0);
    put32(b, 14 + 40 + 8);
    putInfoHeader(b, kHuge, 8, 1, uint32_t(data));
    const size_t at = b.size();
    appendZeros(b, data);
    for (size_t i = at; i + 1 < b.size(); i += 2) b[i] = 255;
    return b;
}

Bytes hugeIco() {
    Bytes b = {0, 0, 1, 0, 1, 0, 0, 0, 2, 0, 1, 0, 1, 0};
    put32(b, uint32_t(40 + 8 + kHugeBitmapBytes));
    put32(b, 22);
    putInfoHeader(b, 2 * kHuge, 1, 0, uint32_t(kHugeBitmapBytes));
    appendZeros(b, kHugeBitmapBytes);
    return b;
}

Bytes hugeGif() {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, kHuge);
    put16(b, kHuge);
    append(b, {0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0});
    put16(b, kHuge);
    put16(b, kHuge);
    append(b, {0, 2});
    // An eighth of a bit per pixel in full sub-blocks: more than LZW needs at its best.
    const size_t at = b.size(), blocks = kHugePixels / 64 / 255;
    appendZeros(b, blocks * 256);
    for (size_t i = 0; i < blocks; ++i) b[at + i * 256] = 255;
    append(b, {0, 0x3B});
    return b;
}

Bytes hugeJpeg() {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    b.resize(b.size() + 64, 1);
    append(b, {0xFF, 0xC0, 0, 11, 8});
    b.push_back(uint8_t(kHuge >> 8));
    b.push_back(uint8_t(kHuge));
    b.push_back(uint8_t(kHuge >> 8));
    b.push_back(uint8_t(kHuge));
    append(b, {1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0});
    // An eighth of a bit per pixel: a grey block takes at least two bits in 64 pixels.
    appendZeros(b, kHugePixels / 64);
    append(b, {0xFF, 0xD9});
    return b;
}

void putPngChunk(Bytes& b, const char* type, const Bytes& data) {
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(data.size() >> shift));
    b.insert(b.end(), typed.begin(), typed.end());
    const uint32_t crc = uint32_t(crc32(0, typed.data(), uInt(typed.size())));
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(crc >> shift));
}

Bytes hugePng() {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (int i = 0; i < 2; ++i)
        for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(uint8_t(kHuge >> shift));
    append(ihdr, {1, 0, 0, 0, 0});
    putPngChunk(b, "IHDR", ihdr);
    // Deflate shrinks data at most about 1032 times: this much could hold the one-bit rows.
    putPngChunk(b, "IDAT", Bytes(kHugeBitmapBytes / 1000, 0));
    putPngChunk(b, "IEND", {});
    return b;
}

Bytes hugeTiff() {
    // PackBits: a repeat of 128 bytes in two bytes.
    const uint32_t data = uint32_t(kHugeBitmapBytes / 64);
    Bytes b = {'I', 'I', 42, 0};
    put32(b, 8);
    const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
    const uint32_t entries[][3] = {
        {256, 4, kHuge},  {257, 4, kHuge}, {258, 3, 1},     {259, 3, 32773}, {262, 3, 1},
        {273, 4, dataAt}, {277, 3, 1},     {278, 4, kHuge}, {279, 4, data},
    };
    put16(b, 9);
    for (const auto& e : entries) {
        put16(b, e[0]);
        put16(b, e[1]);
        put32(b, 1);
        put32(b, e[2]);
    }
    put32(b, 0);
    appendZeros(b, data);
    return b;
}

Bytes hugeTga() {
    Bytes b = {0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(b, kHuge);
    put16(b, kHuge);
    append(b, {8, 0});
    // Run-length packets of 128 grey pixels each.
    const size_t at = b.size(), packets = (kHugePixels + 127) / 128;
    b.resize(at + 2 * packets, 0x80);
    for (size_t i = 0; i < packets; ++i) b[at + 2 * i] = 0xFF;
    return b;
}

Bytes hugePcx() {
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = 1;
    b[3] = 1;
    b[8] = uint8_t((kHuge - 1) & 0xFF);
    b[9] = uint8_t((kHuge - 1) >> 8);
    b[10] = b[8];
    b[11] = b[9];
    b[65] = 1;
    const uint32_t bytesPerLine = (kHuge + 15) / 16 * 2;
    b[66] = uint8_t(bytesPerLine);
    b[67] = uint8_t(bytesPerLine >> 8);
    // A run of 63 bytes in two bytes.
    appendZeros(b, size_t(bytesPerLine) * kHuge / 31);
    return b;
}

TEST(DispatchLoad, ThePixelCapsRefusalNamesTheSize) {
    const std::pair<uint32_t, Bytes (*)()> cases[] = {
        {BMP, hugeBmp}, {GIF, hugeGif},   {JPEG, hugeJpeg}, {PNG, hugePng},
        {ICO, hugeIco}, {TIFF, hugeTiff}, {TGA, hugeTga},   {PCX, hugePcx},
    };
    for (const auto& [type, make] : cases) {
        SCOPED_TRACE(type);
        DibImage img = makeF();
        img.setLastError("earlier message");
        EXPECT_FALSE(loadBytes(img, make(), type));
        EXPECT_STREQ(img.lastError(), "Image too large: 16385 x 16385");
        EXPECT_TRUE(sameImage(img, makeF()));
    }
}

}  // namespace
