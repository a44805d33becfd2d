// "vantifex-cli enhance" as a user runs it: arguments, folders, names and formats, progress
// and summary, exit codes, parallel runs giving the same bytes, safe replacement of earlier
// results, and every setting checked pixel by pixel against a plain reference of the
// enhancement order (PNG in, PNG out).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "support/reference_ops.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;

namespace {

using cli_testing::CliRun;

using cli_testing::filesIn;
using cli_testing::slurp;

// Runs "enhance" with args; prefix is shell text put before it (limits, traps).
CliRun runCli(const std::vector<std::string>& args, const std::string& prefix = "") {
    return cli_testing::runEnhance(args, prefix);
}

std::string save(const fs::path& path, DibImage image, uint32_t type) {
    EXPECT_TRUE(image.saveToFile(path.c_str(), type)) << path;
    return path.string();
}

// --- the reference: the enhancement order, written out plainly ---

struct Settings {
    int rows[11] = {};  // red green blue yellow cyan magenta white rose orange skin brown
    int sharpen = 0, brightness = 0, contrast = 0, rotation = 0, effect = 0;
    std::string whiteBalance;
};

const char* const kRowNames[11] = {"red",   "green", "blue",   "yellow", "cyan", "magenta",
                                   "white", "rose",  "orange", "skin",   "brown"};

std::vector<std::string> arguments(const Settings& s) {
    std::vector<std::string> a;
    for (int i = 0; i < 11; ++i)
        if (s.rows[i])
            a.insert(a.end(), {std::string("--") + kRowNames[i], std::to_string(s.rows[i])});
    if (s.sharpen) a.insert(a.end(), {"--sharpen", std::to_string(s.sharpen)});
    if (s.brightness) a.insert(a.end(), {"--brightness", std::to_string(s.brightness)});
    if (s.contrast) a.insert(a.end(), {"--contrast", std::to_string(s.contrast)});
    if (s.rotation) a.insert(a.end(), {"--rotation", std::to_string(s.rotation)});
    if (s.effect) a.insert(a.end(), {"--effect", std::to_string(s.effect)});
    if (!s.whiteBalance.empty()) a.insert(a.end(), {"--white-balance", s.whiteBalance});
    return a;
}

// Each colour row adds its count weighted by its swatch colour / 255 (127 as a half).
void channelShift(const Settings& s, int* r, int* g, int* b) {
    const int red = s.rows[0], green = s.rows[1], blue = s.rows[2], yellow = s.rows[3];
    const int cyan = s.rows[4], magenta = s.rows[5], white = s.rows[6], rose = s.rows[7];
    const int orange = s.rows[8], skin = s.rows[9], brown = s.rows[10];
    *r = red + yellow + white + magenta + rose + orange + skin + brown * 153 / 255;
    *g = green + yellow + white + cyan + orange / 2 + skin * 204 / 255 + brown * 102 / 255;
    *b = blue + cyan + white + magenta + rose / 2 + skin * 153 / 255;
}

uint8_t shifted(int v, int correction) {
    return uint8_t(std::clamp(v + 4 * correction, 0, 255));
}

// A new 24-bit picture whose pixels are the colours of image moved by (r, g, b) corrections.
DibImage shiftedPicture(const DibImage& image, int r, int g, int b) {
    DibImage out(image.width(), image.height(), 24, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const RgbQuad c = image.getPixelColor(x, y);
            out.setPixelColor(
                x, y, RgbQuad{shifted(c.blue, b), shifted(c.green, g), shifted(c.red, r), 0});
        }
    return out;
}

// Rotation, sharpen (two passes a step) or blur (one a step), contrast, white balance
// (corrections moved by four times their value), brightness, the colour rows on the
// channels, and the effect on the shifted picture.
DibImage reference(DibImage img, const Settings& s) {
    const int32_t sharpenKernel[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};
    const int32_t blurKernel[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < s.rotation; ++i) reference_ops::rotateRight(img);
    for (int i = 0; i < -s.rotation; ++i) reference_ops::rotateLeft(img);
    for (int i = 0; i < 2 * s.sharpen; ++i) reference_ops::applyKernel(img, sharpenKernel, 3, 7, 0);
    for (int i = 0; i < -s.sharpen; ++i) reference_ops::applyKernel(img, blurKernel, 3, 9, 0);
    if (s.contrast) reference_ops::adjustLight(img, 0, 100 + s.contrast);
    if (!s.whiteBalance.empty()) {
        const unsigned long v = std::stoul(s.whiteBalance, nullptr, 16);
        img = shiftedPicture(img, int(v & 0xff), int(v >> 8 & 0xff), int(v >> 16 & 0xff));
    }
    if (s.brightness) reference_ops::adjustLight(img, s.brightness, 100);
    int r, g, b;
    channelShift(s, &r, &g, &b);
    if (s.effect == 0) return shiftedPicture(img, r, g, b);
    if (r || g || b) img = shiftedPicture(img, r, g, b);
    static const uint8_t tones[6][2] = {{30, 50}, {27, 45}, {24, 40}, {20, 60}, {17, 68}, {13, 82}};
    if (s.effect == 1) reference_ops::grayScale(img);
    if (s.effect >= 2 && s.effect <= 7) {
        reference_ops::tone(img);
        reference_ops::colorize(img, tones[s.effect - 2][0], tones[s.effect - 2][1]);
    }
    if (s.effect == 8) reference_ops::negative(img);
    return shiftedPicture(img, 0, 0, 0);
}

// The differences of two pictures, described; empty when they are equal.
std::string compare(const DibImage& got, const DibImage& want) {
    if (got.width() != want.width() || got.height() != want.height())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) +
               " instead of " + std::to_string(want.width()) + "x" + std::to_string(want.height());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const RgbQuad a = got.getPixelColor(x, y), b = want.getPixelColor(x, y);
            if (a.red != b.red || a.green != b.green || a.blue != b.blue) {
                std::ostringstream s;
                s << "pixel (" << x << ", " << y << ") is " << int(a.red) << "," << int(a.green)
                  << "," << int(a.blue) << " instead of " << int(b.red) << "," << int(b.green)
                  << "," << int(b.blue);
                return s.str();
            }
        }
    return std::string();
}

// Lossless inputs: a full-colour photo of odd size, a paletted one and one with an alpha
// plane.
struct Inputs {
    TempDir dir;
    std::vector<std::string> paths;
    Inputs() {
        fs::create_directory(dir.path() / "in");
        paths.push_back(save(dir.path() / "in" / "colour.png", randomImage(37, 23, 24, 1), PNG));
        paths.push_back(save(dir.path() / "in" / "Palette.PNG", randomImage(19, 14, 8, 2), PNG));
        paths.push_back(
            save(dir.path() / "in" / "alpha.png", randomImage(16, 9, 24, 3, true), PNG));
    }
};

void expectMatchesReference(Inputs& inputs, const Settings& s, const std::string& what) {
    const fs::path out = inputs.dir.path() / "out";
    fs::remove_all(out);
    std::vector<std::string> args = arguments(s);
    args.push_back((inputs.dir.path() / "in").string());
    args.insert(args.end(), {"-o", out.string()});
    const CliRun run = runCli(args);
    ASSERT_EQ(run.status, 0) << what << "\n" << run.err;
    EXPECT_EQ(run.out, "Finished processing 3 images.\n") << what;
    for (const std::string& in : inputs.paths) {
        DibImage source;
        ASSERT_TRUE(source.loadFromFile(in.c_str(), PNG));
        std::string name = "enh_" + fs::path(in).filename().string();
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        DibImage result;
        ASSERT_TRUE(result.loadFromFile((out / name).c_str(), PNG)) << what << ": " << name;
        const std::string difference = compare(result, reference(source, s));
        EXPECT_TRUE(difference.empty()) << what << ", " << name << ": " << difference;
    }
}

}  // namespace

TEST(EnhanceCli, EverySettingAloneMatchesTheReference) {
    Inputs inputs;
    expectMatchesReference(inputs, Settings{}, "no setting");
    for (int row = 0; row < 11; ++row)
        for (int count : {3, -2}) {
            Settings s;
            s.rows[row] = count;
            expectMatchesReference(inputs, s,
                                   std::string(kRowNames[row]) + " " + std::to_string(count));
        }
    const std::vector<std::pair<std::string, std::function<void(Settings&)>>> cases = {
        {"white balance 000c0c0c", [](Settings& s) { s.whiteBalance = "000c0c0c"; }},
        {"white balance 00ff0130", [](Settings& s) { s.whiteBalance = "00ff0130"; }},
        {"brightness +5", [](Settings& s) { s.brightness = 5; }},
        {"brightness -40", [](Settings& s) { s.brightness = -40; }},
        {"contrast +10", [](Settings& s) { s.contrast = 10; }},
        {"contrast -30", [](Settings& s) { s.contrast = -30; }},
        {"sharpen 1", [](Settings& s) { s.sharpen = 1; }},
        {"sharpen 2", [](Settings& s) { s.sharpen = 2; }},
        {"blur 1", [](Settings& s) { s.sharpen = -1; }},
        {"blur 3", [](Settings& s) { s.sharpen = -3; }},
        {"rotation 1", [](Settings& s) { s.rotation = 1; }},
        {"rotation -1", [](Settings& s) { s.rotation = -1; }},
        {"rotation 2", [](Settings& s) { s.rotation = 2; }},
        {"rotation -3", [](Settings& s) { s.rotation = -3; }},
    };
    for (const auto& [name, set] : cases) {
        Settings s;
        set(s);
        expectMatchesReference(inputs, s, name);
    }
}

TEST(EnhanceCli, EachEffectWithAndWithoutAColourShift) {
    Inputs inputs;
    for (int effect = 1; effect <= 8; ++effect)
        for (bool shift : {false, true}) {
            Settings s;
            s.effect = effect;
            if (shift) {
                s.rows[0] = 5;   // red
                s.rows[9] = -3;  // skin
            }
            expectMatchesReference(
                inputs, s,
                "effect " + std::to_string(effect) + (shift ? " with a colour shift" : ""));
        }
}

TEST(EnhanceCli, SettingsCombined) {
    Inputs inputs;
    for (int effect : {0, 1, 4, 8}) {
        Settings s;
        s.rotation = -1;
        s.sharpen = 1;
        s.contrast = 10;
        s.whiteBalance = "000c0c0c";
        s.brightness = 5;
        s.rows[0] = 3;
        s.rows[7] = 2;
        s.rows[10] = -6;
        s.effect = effect;
        expectMatchesReference(inputs, s, "combined, effect " + std::to_string(effect));
    }
    Settings blurred;
    blurred.sharpen = -2;
    blurred.contrast = -15;
    blurred.brightness = -7;
    blurred.rows[4] = 4;
    blurred.rows[6] = -1;
    blurred.effect = 2;
    expectMatchesReference(inputs, blurred, "blur with sepia");
}

TEST(EnhanceCli, EffectNamesAndNumbersAgree) {
    Inputs inputs;
    const fs::path a = inputs.dir.path() / "a", b = inputs.dir.path() / "b";
    const char* names[9] = {"none",   "bw",     "sepia1", "sepia2",  "sepia3",
                            "sepia4", "sepia5", "sepia6", "NEGATIVE"};
    for (int e = 0; e <= 8; ++e) {
        fs::remove_all(a);
        fs::remove_all(b);
        ASSERT_EQ(runCli({"--effect", names[e], inputs.paths[0], "-o", a.string()}).status, 0);
        ASSERT_EQ(runCli({"--effect=" + std::to_string(e), inputs.paths[0], "--output", b.string()})
                      .status,
                  0);
        EXPECT_EQ(readBytes((a / "enh_colour.png").string()),
                  readBytes((b / "enh_colour.png").string()))
            << names[e];
    }
}

TEST(EnhanceCli, FolderBatchCountsSkipsAndNamesOutputs) {
    TempDir dir;
    const fs::path in = dir.path() / "photos";
    fs::create_directory(in);
    save(in / "a.PNG", randomImage(20, 10, 24, 1), PNG);
    testing_support::writeBytes((in / "b.txt").string(), {'h', 'i'});
    save(in / "c.png", randomImage(12, 30, 24, 2), PNG);
    fs::create_directory(in / "sub.png");  // folders are not entries

    const CliRun run = runCli({"--brightness", "3", in.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Finished processing 2 images.\n");
    // One progress line per photo, numbered among all files of the folder in listing order.
    std::vector<std::string> listing;
    for (const auto& e : fs::directory_iterator(in))
        if (!e.is_directory()) listing.push_back(e.path().string());
    ASSERT_EQ(listing.size(), 3u);
    int lines = 0;
    for (size_t i = 0; i < listing.size(); ++i) {
        const std::string line = "Processing " + std::to_string(i + 1) + " of 3: " + listing[i];
        const bool isPhoto = listing[i].find(".txt") == std::string::npos;
        EXPECT_EQ(run.err.find(line) != std::string::npos, isPhoto) << line << "\n" << run.err;
        lines += isPhoto;
    }
    EXPECT_EQ(lines, 2);
    // The "enhanced" sub-folder is made; output names are lower-cased "enh_" names.
    EXPECT_EQ(filesIn(in / "enhanced"), (std::vector<std::string>{"enh_a.png", "enh_c.png"}));
    // A named file that is not a photo is skipped with a note; it is not an error.
    const CliRun skip = runCli({(in / "b.txt").string(), "-o", (dir.path() / "o").string()});
    EXPECT_EQ(skip.status, 0);
    EXPECT_EQ(skip.out, "Finished processing 0 images.\n");
    EXPECT_NE(skip.err.find("not a photo"), std::string::npos);
}

TEST(EnhanceCli, FilesAndFoldersMixWithTheirOwnEnhancedFolders) {
    TempDir dir;
    fs::create_directories(dir.path() / "one");
    fs::create_directories(dir.path() / "two");
    const std::string a = save(dir.path() / "one" / "a.png", randomImage(8, 8, 24, 1), PNG);
    save(dir.path() / "two" / "b.png", randomImage(8, 8, 24, 2), PNG);
    const CliRun run = runCli({a, (dir.path() / "two").string() + "/"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Finished processing 2 images.\n");
    EXPECT_TRUE(fs::exists(dir.path() / "one" / "enhanced" / "enh_a.png"));
    EXPECT_TRUE(fs::exists(dir.path() / "two" / "enhanced" / "enh_b.png"));
    // -o makes the whole path.
    const fs::path deep = dir.path() / "x" / "y" / "z";
    ASSERT_EQ(runCli({a, "-o", deep.string()}).status, 0);
    EXPECT_TRUE(fs::exists(deep / "enh_a.png"));
}

TEST(EnhanceCli, UnreadablePhotosAreNamedNotWrittenNotCounted) {
    TempDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directory(in);
    save(in / "good.png", randomImage(9, 9, 24, 1), PNG);
    testing_support::writeBytes((in / "bad.png").string(), {0x89, 'P', 'N', 'G', 0, 1, 2});
    testing_support::writeBytes((in / "empty.jpg").string(), {});
    const CliRun run = runCli({in.string(), "-o", (dir.path() / "out").string()});
    EXPECT_EQ(run.status, 1);
    // The summary names each photo that could not be read, with the reason.
    EXPECT_EQ(run.out.rfind("Finished processing 1 images.\n2 could not be read.\n", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\nbad.png: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nempty.jpg: "), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4) << run.out;
    EXPECT_NE(run.err.find("Cannot read " + (in / "bad.png").string()), std::string::npos);
    EXPECT_NE(run.err.find("Cannot read " + (in / "empty.jpg").string()), std::string::npos);
    EXPECT_EQ(filesIn(dir.path() / "out"), std::vector<std::string>{"enh_good.png"});
}

TEST(EnhanceCli, BadArgumentsWriteNothing) {
    TempDir dir;
    const std::string photo = save(dir.path() / "p.png", randomImage(5, 5, 24, 1), PNG);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--red", "3"},
        {"--bogus", photo},
        {photo, "--red"},
        {"--red", "x", photo},
        {"--red", "1.5", photo},
        {"--red", "99999999999", photo},
        {"--effect", "sepia9", photo},
        {"--effect", "9", photo},
        {"--white-balance", "123456789", photo},
        {"--white-balance", "0c0g", photo},
        {"--jobs", "0", photo},
        {"--jobs", "two", photo},
        {photo, "-o"},
        {photo, "-o", ""},
        {(dir.path() / "missing.png").string()},
        {photo, (dir.path() / "missing-folder").string()},
    };
    for (const auto& args : bad) {
        const CliRun run = runCli(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(run.status, 2) << joined;
        EXPECT_EQ(run.err.rfind("usage: ", 0), 0u) << joined << run.err;
        EXPECT_EQ(run.out, "") << joined;
        EXPECT_FALSE(fs::exists(dir.path() / "enhanced")) << joined;
    }
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: vantifex-cli enhance", 0), 0u);
    // Negative values, "=" forms and "--" all parse.
    const CliRun ok =
        runCli({"--red", "-3", "--contrast=+4", "--white-balance", "0x0c", "--", photo});
    EXPECT_EQ(ok.status, 0) << ok.err;
}

TEST(EnhanceCli, AnyNumberOfJobsWritesTheSameBytes) {
    TempDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directory(in);
    for (int i = 0; i < 7; ++i)
        save(in / ("p" + std::to_string(i) + ".png"), randomImage(40 + i * 7, 30 + i, 24, 10 + i),
             PNG);
    save(in / "pal.png", randomImage(33, 21, 8, 30), PNG);
    const std::vector<std::string> settings = {"--sharpen",       "1",        "--contrast", "10",
                                               "--white-balance", "000c0c0c", "--red",      "3",
                                               "--effect",        "sepia2"};
    std::map<std::string, std::vector<uint8_t>> first;
    for (const char* jobs : {"1", "2", "3", "8"}) {
        const fs::path out = dir.path() / (std::string("out") + jobs);
        std::vector<std::string> args = settings;
        args.insert(args.end(), {"--jobs", jobs, in.string(), "-o", out.string()});
        const CliRun run = runCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "Finished processing 8 images.\n");
        const auto names = filesIn(out);
        ASSERT_EQ(names.size(), 8u);
        for (const std::string& n : names) {
            const auto bytes = readBytes((out / n).string());
            if (first.count(n))
                EXPECT_EQ(bytes, first[n]) << n << " with --jobs " << jobs;
            else
                first[n] = bytes;
        }
    }
}

TEST(EnhanceCli, PhotosWritingTheSameFileAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    const std::string first = save(dir.path() / "a" / "same.png", randomImage(30, 20, 24, 1), PNG);
    const std::string second = save(dir.path() / "b" / "SAME.png", randomImage(20, 30, 24, 2), PNG);
    const fs::path both = dir.path() / "both";
    const CliRun run = runCli({"--jobs", "2", first, second, "-o", both.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vantifex-cli: cannot write " + first + " and " + second + " both to " +
                           (both / "enh_same.png").string() + "\n");
    EXPECT_FALSE(fs::exists(both));
}

TEST(EnhanceCli, AFailedWriteLeavesTheEarlierResultWhole) {
    TempDir dir;
    const fs::path in = dir.path() / "in", out = dir.path() / "out";
    fs::create_directories(in);
    fs::create_directories(out);
    const std::string big = save(in / "big.png", randomImage(700, 500, 24, 5), PNG);
    const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    testing_support::writeBytes((out / "enh_big.png").string(), earlier);
    // Files may grow to 64 KiB only, so the new result cannot be written completely.
    const CliRun run = runCli({big, "-o", out.string()}, "trap '' XFSZ; ulimit -f 64; ");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("Finished processing 1 images.\n1 could not be written.\nbig.png: ", 0),
              0u)
        << run.out;
    EXPECT_NE(run.err.find("Cannot write " + (out / "enh_big.png").string()), std::string::npos)
        << run.err;
    EXPECT_EQ(readBytes((out / "enh_big.png").string()), earlier);
    EXPECT_EQ(filesIn(out), std::vector<std::string>{"enh_big.png"});  // no temporary left
    // An output folder that cannot be made: every write fails, and says so.
    testing_support::writeBytes((dir.path() / "file").string(), {1});
    const CliRun blocked = runCli({big, "-o", (dir.path() / "file" / "sub").string()});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("Cannot write " + (dir.path() / "file/sub/enh_big.png").string() +
                               ": cannot create the folder " + (dir.path() / "file").string() +
                               ": Not a directory\n"),
              std::string::npos)
        << blocked.err;
}

TEST(EnhanceCli, OutputFoldersAreMadeAtEveryLevel) {
    TempDir dir;
    const std::string photo = save(dir.path() / "p.png", randomImage(16, 12, 24, 1), PNG);
    const fs::path deep = dir.path() / "one" / "two" / "three";
    const CliRun run = runCli({photo, "-o", deep.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(filesIn(deep), std::vector<std::string>{"enh_p.png"});
}

TEST(EnhanceCli, ARunNeverWritesOverOneOfItsSources) {
    // The output folder is the input folder, which holds an earlier result as well.
    TempDir dir;
    save(dir.path() / "p01.jpg", randomImage(30, 20, 24, 1), JPEG);
    const std::string earlier = save(dir.path() / "enh_p01.jpg", randomImage(30, 20, 24, 2), JPEG);
    save(dir.path() / "p02.jpg", randomImage(30, 20, 24, 3), JPEG);
    const std::vector<uint8_t> earlierBytes = readBytes(earlier);
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        const CliRun run = runCli({"--jobs", jobs, dir.path().string(), "-o", dir.path().string()});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "vantifex-cli: cannot write " + (dir.path() / "p01.jpg").string() +
                               " to " + earlier + ": it is also a source of this run\n");
        EXPECT_EQ(readBytes(earlier), earlierBytes);
        EXPECT_EQ(filesIn(dir.path()),
                  (std::vector<std::string>{"enh_p01.jpg", "p01.jpg", "p02.jpg"}));
    }
}

TEST(EnhanceCli, GifJpegAndDibNames) {
    TempDir dir;
    const fs::path in = dir.path() / "in", out = dir.path() / "out";
    fs::create_directories(in);
    save(in / "x.gif", randomImage(16, 12, 8, 1), GIF);
    save(in / "y.jpeg", randomImage(16, 12, 24, 2), JPEG);
    save(in / "z.dib", randomImage(16, 12, 24, 3), JPEG);  // read as what it holds
    save(in / "w.bmp", randomImage(16, 12, 24, 4), BMP);
    const CliRun run = runCli({in.string(), "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Finished processing 4 images.\n");
    EXPECT_EQ(filesIn(out),
              (std::vector<std::string>{"enh_w.bmp", "enh_x.jpg", "enh_y.jpeg", "enh_z.dib"}));
    for (const char* name : {"enh_x.jpg", "enh_y.jpeg"}) {
        const auto bytes = readBytes((out / name).string());
        ASSERT_GE(bytes.size(), 3u) << name;
        EXPECT_EQ(bytes[0], 0xFF) << name;  // JPEG data
        EXPECT_EQ(bytes[1], 0xD8) << name;
    }
    for (const char* name : {"enh_w.bmp", "enh_z.dib"}) {  // a .dib is written as BMP
        const auto bmp = readBytes((out / name).string());
        ASSERT_GE(bmp.size(), 2u) << name;
        EXPECT_EQ(bmp[0], 'B') << name;
        EXPECT_EQ(bmp[1], 'M') << name;
    }
}

// Starts the tool on args with stderr on a pipe; returns its pid and the pipe's reading end.
pid_t spawnCli(const std::vector<std::string>& args, const fs::path& stdoutFile, int* errFd) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        // As from a terminal: whatever this test runner ignores, the tool must not.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(fds[1], 2);
        close(fds[0]);
        std::vector<char*> argv{const_cast<char*>(VFX_CLI_PATH), const_cast<char*>("enhance")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VFX_CLI_PATH, argv.data());
        _exit(127);
    }
    close(fds[1]);
    *errFd = fds[0];
    return pid;
}

TEST(EnhanceCli, ASignalStopsAfterThePhotosInHand) {
    TempDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directory(in);
    const int photos = 24;
    for (int i = 0; i < photos; ++i)
        save(in / ("p" + std::to_string(i) + ".png"), randomImage(400, 300, 24, uint32_t(i)), PNG);
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (const auto& c : cases) {
        const fs::path out = dir.path() / ("out" + std::to_string(c.signal));
        const fs::path stdoutFile = dir.path() / "stdout.txt";
        int errFd = -1;
        const pid_t pid = spawnCli(
            {"--sharpen", "3", "--jobs", "2", in.string(), "-o", out.string()}, stdoutFile, &errFd);
        ASSERT_GT(pid, 0);
        // Once the first photo is under way, the signal.
        std::string err;
        bool signalled = false;
        char buffer[4096];
        for (ssize_t n; (n = read(errFd, buffer, sizeof buffer)) > 0;) {
            err.append(buffer, size_t(n));
            if (!signalled && err.find("Processing 1 of") != std::string::npos) {
                kill(pid, c.signal);
                signalled = true;
            }
        }
        close(errFd);
        int rc = 0;
        ASSERT_EQ(waitpid(pid, &rc, 0), pid);
        ASSERT_TRUE(signalled) << err;
        ASSERT_TRUE(WIFEXITED(rc)) << "ended by signal " << WTERMSIG(rc);
        EXPECT_EQ(WEXITSTATUS(rc), c.status) << err;
        // The photos in hand were finished and written whole; no other was started.
        const std::string summary = slurp(stdoutFile);
        EXPECT_EQ(summary.rfind("Finished processing ", 0), 0u) << summary;
        EXPECT_NE(summary.find("\nStopped: "), std::string::npos) << summary;
        const auto names = filesIn(out);
        size_t started = 0;
        for (size_t at = 0; (at = err.find("Processing ", at)) != std::string::npos; ++at)
            ++started;
        EXPECT_EQ(names.size(), started) << err;
        EXPECT_LT(names.size(), size_t(photos));
        for (const std::string& name : names) {
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
            EXPECT_EQ(name.rfind("enh_p", 0), 0u) << name;
            DibImage back;
            EXPECT_TRUE(back.loadFromFile((out / name).c_str(), PNG)) << name;
            EXPECT_EQ(back.width(), 400) << name;
        }
        // Run again with --skip-existing: only what was left is done, and the whole equals
        // one run that was never stopped.
        const CliRun rest =
            runCli({"--sharpen", "3", "--skip-existing", in.string(), "-o", out.string()});
        EXPECT_EQ(rest.status, 0) << rest.err;
        EXPECT_EQ(rest.out, "Finished processing " + std::to_string(photos - int(names.size())) +
                                " images.\n" + std::to_string(names.size()) +
                                " skipped: already written.\n");
        if (c.signal == SIGTERM) {
            const fs::path whole = dir.path() / "whole";
            ASSERT_EQ(runCli({"--sharpen", "3", in.string(), "-o", whole.string()}).status, 0);
            ASSERT_EQ(filesIn(out), filesIn(whole));
            for (const std::string& name : filesIn(whole))
                EXPECT_EQ(readBytes((out / name).string()), readBytes((whole / name).string()))
                    << name;
        }
    }
}

namespace {

// --crop: the kept part of every photo of the run, the same bytes as the part cut by hand
// and enhanced whole; a crop outside any photo names it and writes nothing.
TEST(EnhanceCrop, KeepsThePartAndRefusesOneOutside) {
    TempDir dir;
    const fs::path in = fs::path(dir.path()) / "in";
    fs::create_directories(in);
    const DibImage whole = randomImage(30, 20, 24, 11);
    DibImage cut(12, 8, 24, BMP);
    for (int y = 0; y < 8; ++y)  // rows 5..12 from the top are 14..7 from the bottom
        for (int x = 0; x < 12; ++x) cut.setPixelColor(x, y, whole.getPixelColor(4 + x, 7 + y));
    const std::string a = save(in / "a.png", whole, PNG);
    const fs::path cutDir = fs::path(dir.path()) / "cut";
    fs::create_directories(cutDir);
    const std::string c = save(cutDir / "a.png", cut, PNG);

    const fs::path out = fs::path(dir.path()) / "out", ref = fs::path(dir.path()) / "ref";
    ASSERT_EQ(runCli({"--crop", "4,5,12,8", "--sharpen", "1", a, "-o", out.string()}).status, 0);
    ASSERT_EQ(runCli({"--sharpen", "1", c, "-o", ref.string()}).status, 0);
    EXPECT_EQ(readBytes((out / "enh_a.png").string()), readBytes((ref / "enh_a.png").string()));

    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--crop", "20,0,11,5"}, "--crop 20,0,11,5 lies outside " + a + " (30 x 20)"},
        // Turned, the photo is 20 x 30.
        {{"--rotation", "1", "--crop", "0,0,25,5"},
         "--crop 0,0,25,5 lies outside " + a + " (20 x 30)"},
        {{"--crop", "1,2,3"}, "--crop needs X,Y,W,H"},
        {{"--crop=0,0,0,4"}, "--crop needs X,Y,W,H"},
    };
    for (const Case& k : cases) {
        const fs::path none = fs::path(dir.path()) / "none";
        std::vector<std::string> args = k.args;
        args.insert(args.end(), {a, c, "-o", none.string()});
        const CliRun run = runCli(args);
        EXPECT_EQ(run.status, 2) << k.message;
        EXPECT_NE(run.err.find(k.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(none)) << k.message;
    }
}

}  // namespace
