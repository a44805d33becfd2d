// vantifex-cli info, convert and dump, run as a separate process on committed JPEG files,
// plus the by-name format rule and the PAM writer they share.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/file_types.h"
#include "cli/pam_file.h"
#include "image/dib_image.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

using testing_support::dataPath;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

using Bytes = std::vector<uint8_t>;
using cli_testing::CliRun;

CliRun runCli(const std::vector<std::string>& args) {
    return cli_testing::runTool(args);
}

std::string fixture(const char* name) {
    return dataPath(std::string("jpeg/") + name);
}

DibImage loadOrFail(const std::string& path) {
    DibImage img;
    EXPECT_TRUE(img.loadFromFile(path.c_str(), JPEG)) << path << ": " << img.lastError();
    return img;
}

struct Pam {
    std::string header;
    int width = 0;
    int height = 0;
    int depth = 0;
    Bytes tuples;
};

// Splits a PAM file into its header text (through ENDHDR) and the tuple bytes.
Pam parsePam(const Bytes& bytes) {
    Pam pam;
    const std::string text(bytes.begin(), bytes.end());
    const std::string end = "ENDHDR\n";
    const size_t at = text.find(end);
    if (at == std::string::npos) return pam;
    pam.header = text.substr(0, at + end.size());
    std::istringstream lines(pam.header);
    std::string key;
    while (lines >> key) {
        if (key == "WIDTH") lines >> pam.width;
        if (key == "HEIGHT") lines >> pam.height;
        if (key == "DEPTH") lines >> pam.depth;
    }
    pam.tuples.assign(bytes.begin() + long(at + end.size()), bytes.end());
    return pam;
}

// The tuples the picture should give: top row first, colours as getPixelColor resolves them.
Bytes expectedTuples(const DibImage& img) {
    Bytes out;
    for (int r = 0; r < img.height(); ++r)
        for (int x = 0; x < img.width(); ++x) {
            const int y = img.height() - 1 - r;
            const RgbQuad c = img.getPixelColor(x, y);
            out.insert(out.end(), {c.red, c.green, c.blue});
            if (img.hasAlpha()) out.push_back(img.alphaGet(x, y));
        }
    return out;
}

std::string pamHeader(int width, int height, bool alpha) {
    return "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
           "\nDEPTH " + (alpha ? "4" : "3") + "\nMAXVAL 255\nTUPLTYPE " +
           (alpha ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n";
}

// ---------- the by-name rule and the type names ----------

TEST(FileTypes, ReadByContentWrittenByName) {
    TempDir dir;
    fs::create_directories(dir.path() / "x.jpg");
    const std::vector<uint8_t> png = readBytes(dataPath("png/rgb8.png"));
    const std::vector<uint8_t> text = {'h', 'i', '\n'};
    const struct Case {
        const char* name;
        const std::vector<uint8_t>* bytes;  // nullptr: no such file
        uint32_t read, written;
    } cases[] = {
        {"photo.jpg", &png, PNG, JPEG},     {"PHOTO.PNG", &png, PNG, PNG},
        {"photo", &png, PNG, JPEG},         {"photo.dib", &text, BMP, BMP},
        {"photo.Bmp", &text, BMP, BMP},     {"photo.tif", &text, TIFF, TIFF},
        {"photo.tga", &text, TGA, TGA},     {"photo.pcx", &text, PCX, PCX},
        {"photo.ico", &text, ICO, ICO},     {"photo.gif.txt", &text, JPEG, JPEG},
        {"photo.jpg.png", &text, PNG, PNG}, {"photo.jpgx", &text, JPEG, JPEG},
        {"x.jpg/photo", &text, JPEG, JPEG}, {"missing.png", nullptr, PNG, PNG},
        {"x.jpg", nullptr, JPEG, JPEG},  // the folder itself: by name, never opened
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.bytes) writeBytes(path, *c.bytes);
        EXPECT_EQ(imageTypeForInput(path), c.read) << c.name;
        EXPECT_EQ(imageTypeForOutput(path), c.written) << c.name;
    }
    ASSERT_EQ(mkfifo(dir.file("pipe.gif").c_str(), 0600), 0);
    EXPECT_EQ(imageTypeForInput(dir.file("pipe.gif")), GIF);  // returns: not opened
}

TEST(FileTypes, NamesMapBothWays) {
    const char* names[] = {"bmp", "gif", "jpeg", "png", "ico", "tiff", "tga", "pcx"};
    for (uint32_t type = 0; type < 8; ++type) {
        EXPECT_STREQ(imageTypeName(type), names[type]);
        ASSERT_TRUE(imageTypeFromName(names[type]).has_value());
        EXPECT_EQ(*imageTypeFromName(names[type]), type);
    }
    EXPECT_EQ(uint32_t(ImageFileType::TIFF), 5u);
    for (const char* bad : {"jpg", "JPEG", "tif", "", "bmpx"})
        EXPECT_FALSE(imageTypeFromName(bad).has_value()) << bad;
}

// ---------- the PAM writer ----------

TEST(PamWriter, PaletteColoursAndAlphaPlane) {
    struct Case {
        DibImage img;
        bool alpha;
    };
    std::vector<Case> cases;
    cases.push_back({testing_support::randomImage(5, 4, 8, 11, true), true});
    cases.push_back({testing_support::randomImage(9, 3, 1, 12, false), false});
    cases.push_back({testing_support::randomImage(7, 2, 24, 13, true), true});
    cases.push_back({testing_support::makeF(), false});
    for (const Case& c : cases) {
        char* buffer = nullptr;
        size_t size = 0;
        FILE* file = open_memstream(&buffer, &size);
        ASSERT_TRUE(writePam(c.img, file));
        std::fclose(file);
        const Pam pam = parsePam(Bytes(buffer, buffer + size));
        std::free(buffer);
        EXPECT_EQ(pam.header, pamHeader(c.img.width(), c.img.height(), c.alpha));
        EXPECT_EQ(pam.tuples, expectedTuples(c.img));
    }
    // The "F" by hand: the top row is five red pixels and one blue.
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&buffer, &size);
    ASSERT_TRUE(writePam(testing_support::makeF(), file));
    std::fclose(file);
    const Pam f = parsePam(Bytes(buffer, buffer + size));
    std::free(buffer);
    ASSERT_EQ(f.tuples.size(), 6u * 5u * 3u);
    const Bytes topRow(f.tuples.begin(), f.tuples.begin() + 18);
    EXPECT_EQ(topRow, (Bytes{255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255}));

    DibImage empty;
    EXPECT_FALSE(writePam(empty, stdout));
}

// ---------- the tool ----------

TEST(CliTool, HelpVersionAndUnknownCommand) {
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: vantifex-cli"), std::string::npos);
    const CliRun version = runCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vantifex-cli ", 0), 0u) << version.out;
    for (const char* command : {"info", "convert", "dump"}) {
        const CliRun sub = runCli({command, "--help"});
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_EQ(sub.out.rfind(std::string("usage: vantifex-cli ") + command, 0), 0u);
    }
}

TEST(CliTool, BadArgumentsGiveOneUsageLineAndStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"info"},
        {"info", "a.jpg", "b.jpg"},
        {"info", "a.jpg", "--type"},
        {"info", "a.jpg", "--type", "jpg"},
        {"info", "a.jpg", "--type=gif87"},
        {"info", "a.jpg", "--bogus"},
        {"info", "a.jpg", "-o", "x.pam"},
        {"info", "a.jpg", "--type", "jpeg", "--type", "png"},
        {"convert", "a.jpg"},
        {"convert", "a.jpg", "b.jpg", "c.jpg"},
        {"convert", "a.jpg", "b.jpg", "--out-type", "bogus"},
        {"convert", "a.jpg", "b.jpg", "--type", "jpeg"},
        {"dump", "a.jpg"},
        {"dump", "a.jpg", "-o"},
        {"dump", "-o", "x.pam"},
        {"dump", "a.jpg", "b.jpg", "-o", "x.pam"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        const CliRun run = runCli(args);
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("usage: vantifex-cli", 0), 0u) << shown << run.err;
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << shown << run.err;
    }
}

TEST(CliInfo, PrintsOneLinePerField) {
    struct Case {
        const char* file;
        int bitCount;
        int colorsUsed;
    };
    for (const Case& c :
         {Case{"colour-420.jpg", 24, 0}, Case{"grey.jpg", 8, 256}, Case{"cmyk-adobe.jpg", 24, 0}}) {
        const CliRun run = runCli({"info", fixture(c.file)});
        EXPECT_EQ(run.status, 0) << c.file;
        EXPECT_EQ(run.err, "") << c.file;
        const DibImage img = loadOrFail(fixture(c.file));
        const std::string expected =
            "type: jpeg\n"
            "width: 96\n"
            "height: 64\n"
            "bitCount: " +
            std::to_string(c.bitCount) + "\n" + "colorsUsed: " + std::to_string(c.colorsUsed) +
            "\n" + "colorType: " + std::to_string(img.info.colorType) + "\n" +
            "alpha: no\n"
            "backgroundIndex: -1\n"
            "alphaPaletteEnabled: no\n"
            "xDpi: 72\n"
            "yDpi: 72\n"
            "frameCount: " +
            std::to_string(img.info.frameCount) + "\n" +
            "orientation: none\n"
            "camera: none\n"
            "dateTaken: none\n"
            "iccProfile: no\nsettings: none\n";
        EXPECT_EQ(run.out, expected) << c.file;
    }
}

TEST(CliInfo, FormatFollowsTheContentUnlessTypeIsGiven) {
    TempDir dir;
    const Bytes jpeg = readBytes(fixture("one-1x1.jpg"));
    const Bytes png = readBytes(dataPath("png/rgb8.png"));
    // Whatever the name, the content decides; --type overrides it.
    const struct {
        const char* name;
        const Bytes* bytes;
        const char* type;
    } cases[] = {
        {"a.JPG", &jpeg, "jpeg"},   {"a.dib", &jpeg, "jpeg"}, {"a.txt", &jpeg, "jpeg"},
        {"noext", &jpeg, "jpeg"},   {"a.bmp", &jpeg, "jpeg"}, {"a.PNG", &jpeg, "jpeg"},
        {"a.png.jpg", &png, "png"}, {"b.jpg", &png, "png"},   {".png", &jpeg, "jpeg"},
    };
    for (const auto& c : cases) {
        writeBytes(dir.file(c.name), *c.bytes);
        const CliRun run = runCli({"info", dir.file(c.name)});
        EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
        EXPECT_EQ(run.out.rfind(std::string("type: ") + c.type + "\n", 0), 0u) << c.name;
        const char* other = std::string(c.type) == "png" ? "jpeg" : "png";
        const CliRun typed = runCli({"info", dir.file(c.name), "--type", other});
        EXPECT_EQ(typed.status, 1) << c.name;
        EXPECT_EQ(typed.err.rfind("error: ", 0), 0u) << c.name;
    }
}

TEST(CliInfo, FailuresPrintTheErrorAndExit1) {
    TempDir dir;
    writeBytes(dir.file("empty.jpg"), {});
    writeBytes(dir.file("really-a.jpg"), {0x89, 'Q', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0});
    writeBytes(dir.file("private.jpg"), readBytes(fixture("one-1x1.jpg")));
    ASSERT_EQ(chmod(dir.file("private.jpg").c_str(), 0600), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // Root reads any file: the unreadable one is tried as nobody.
    const std::string asOther =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(dir.file("private.jpg").c_str(), 0), 0);
    }
    struct Case {
        std::string path;
        std::string err;
        std::string prefix;
    };
    const Case cases[] = {
        {dir.file("empty.jpg"), "error: Empty input file\n", ""},
        {dir.file("really-a.jpg"), "error: Not a JPEG file: starts with 0x89 0x51\n", ""},
        {dir.file("missing.jpg"),
         "error: cannot open " + dir.file("missing.jpg") + ": No such file or directory\n", ""},
        {dir.path().string(), "error: cannot open " + dir.path().string() + ": Is a directory\n",
         ""},
        {dir.file("really-a.jpg/x.jpg"),
         "error: cannot open " + dir.file("really-a.jpg/x.jpg") + ": Not a directory\n", ""},
        {dir.file("private.jpg"),
         "error: cannot open " + dir.file("private.jpg") + ": Permission denied\n", asOther},
    };
    for (const Case& c : cases) {
        const CliRun run = cli_testing::runTool({"info", c.path}, c.prefix);
        EXPECT_EQ(run.status, 1) << c.path;
        EXPECT_EQ(run.out, "") << c.path;
        EXPECT_EQ(run.err, c.err) << c.path;
    }
}

TEST(CliInfo, TruncatedFileLoadsSilently) {
    TempDir dir;
    const Bytes whole = readBytes(fixture("colour-progressive.jpg"));
    writeBytes(dir.file("cut.jpg"), Bytes(whole.begin(), whole.begin() + long(whole.size() / 2)));
    const CliRun run = runCli({"info", dir.file("cut.jpg")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("width: 96\n"), std::string::npos);
}

TEST(CliDump, WritesTheDecodedPictureTopDown) {
    TempDir dir;
    for (const char* name : {"colour-420.jpg", "grey-odd-37x23.jpg", "cmyk-adobe.jpg",
                             "odd-37x23-422-progressive.jpg", "one-1x1.jpg"}) {
        const std::string out = dir.file(std::string(name) + ".pam");
        const CliRun run = runCli({"dump", fixture(name), "-o", out});
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        const DibImage img = loadOrFail(fixture(name));
        const Pam pam = parsePam(readBytes(out));
        EXPECT_EQ(pam.header, pamHeader(img.width(), img.height(), false)) << name;
        EXPECT_EQ(pam.tuples, expectedTuples(img)) << name;
    }
}

TEST(CliDump, GreyTuplesRepeatTheGreyLevel) {
    TempDir dir;
    const std::string out = dir.file("grey.pam");
    ASSERT_EQ(runCli({"dump", "--type", "jpeg", "-o", out, fixture("grey.jpg")}).status, 0);
    const Pam pam = parsePam(readBytes(out));
    ASSERT_EQ(pam.depth, 3);
    ASSERT_EQ(pam.tuples.size(), size_t(96 * 64 * 3));
    const DibImage img = loadOrFail(fixture("grey.jpg"));
    for (size_t i = 0; i < size_t(96 * 64); ++i) {
        const uint8_t* t = pam.tuples.data() + 3 * i;
        ASSERT_TRUE(t[0] == t[1] && t[1] == t[2]) << i;
        // The grey level is the stored index: the palette is the identity ramp.
        const int x = int(i % 96);
        const int y = 63 - int(i / 96);
        ASSERT_EQ(t[0], img.getPixelIndex(x, y)) << i;
    }
}

TEST(CliConvert, SavesThroughTheDispatch) {
    TempDir dir;
    // Default output type by name: ".jpg" and ".JPEG" are both JPEG.
    const std::string colourOut = dir.file("colour.jpg");
    const CliRun colour = runCli({"convert", fixture("colour-420.jpg"), colourOut});
    ASSERT_EQ(colour.status, 0) << colour.err;
    EXPECT_EQ(colour.out + colour.err, "");
    DibImage source = loadOrFail(fixture("colour-420.jpg"));
    const std::string inProcess = dir.file("in-process.jpg");
    ASSERT_TRUE(source.saveToFile(inProcess.c_str(), JPEG));
    EXPECT_EQ(readBytes(colourOut), readBytes(inProcess));

    const std::string greyOut = dir.file("GREY.JPEG");
    ASSERT_EQ(runCli({"convert", fixture("grey.jpg"), greyOut}).status, 0);
    const DibImage grey = loadOrFail(greyOut);
    EXPECT_EQ(grey.bitCount(), 8);
    EXPECT_TRUE(grey.isGrayScale());

    // Explicit types override both names.
    writeBytes(dir.file("in.png"), readBytes(fixture("one-1x1.jpg")));
    const CliRun typed = runCli({"convert", "--in-type", "jpeg", dir.file("in.png"),
                                 dir.file("out.bmp"), "--out-type=jpeg"});
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(loadOrFail(dir.file("out.bmp")).width(), 1);
}

// dump and convert fail with status 1 and the reason, and leave no file behind; a device
// written to stays.
TEST(CliFailures, DumpAndConvertExit1WithTheReasonAndLeaveNoFile) {
    TempDir dir;
    writeBytes(dir.file("empty.jpg"), {});
    const std::string nope = dir.file("nope.jpg");
    const std::string grey = fixture("grey.jpg");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"dump", nope, "-o", dir.file("x.pam")},
         "error: cannot open " + nope + ": No such file or directory\n"},
        {{"dump", grey, "-o", dir.file("no-folder/x.pam")},
         "error: cannot open " + dir.file("no-folder/x.pam") + ": No such file or directory\n"},
        {{"dump", fixture("colour-444.jpg"), "-o", "/dev/full"},
         "error: cannot write /dev/full: No space left on device\n"},
        {{"convert", nope, dir.file("out.jpg")},
         "error: cannot open " + nope + ": No such file or directory\n"},
        {{"convert", dir.path().string(), dir.file("out.jpg")},
         "error: cannot open " + dir.path().string() + ": Is a directory\n"},
        {{"convert", grey, dir.file("no-folder/out.jpg")},
         "error: cannot open " + dir.file("no-folder/out.jpg") + ": No such file or directory\n"},
        {{"convert", grey, dir.file("out.pcx"), "--out-type", "pcx"},
         "error: Unsupported operation for this format\n"},
        {{"convert", dir.file("empty.jpg"), dir.file("out.jpg")}, "error: Empty input file\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(c.args);
        EXPECT_EQ(run.status, 1) << c.err;
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    std::filesystem::remove(dir.file("empty.jpg"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
