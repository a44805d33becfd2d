// "vantifex-cli enhance --region": the part written equals the same part of a whole run, for
// every kind of setting and turn; a region outside a result is refused before anything is
// written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using cli_testing::CliRun;
using cli_testing::runEnhance;
using testing_support::randomImage;
using testing_support::TempDir;

namespace {

std::string joined(const std::vector<std::string>& args) {
    std::string j;
    for (const std::string& a : args) j += a + " ";
    return j;
}

// First row (from the top) where region (x, y, w, h) of whole and part differ, or "".
std::string rowDifference(const DibImage& whole, const int (&r)[4], const DibImage& part) {
    if (part.width() != r[2] || part.height() != r[3] || part.bitCount() != 24 ||
        whole.bitCount() != 24)
        return "size " + std::to_string(part.width()) + " x " + std::to_string(part.height());
    for (int y = 0; y < r[3]; ++y) {
        const uint8_t* a = whole.row(whole.height() - 1 - (r[1] + y)) + size_t(r[0]) * 3;
        const uint8_t* b = part.row(part.height() - 1 - y);
        if (std::memcmp(a, b, size_t(r[2]) * 3) != 0) return "row " + std::to_string(y);
    }
    return "";
}

TEST(EnhanceRegionCli, TheRegionEqualsThatPartOfAWholeRun) {
    TempDir dir;
    const fs::path photo = dir.path() / "p.png";
    ASSERT_TRUE(randomImage(31, 19, 24, 21).saveToFile(photo.c_str(), PNG));
    const std::vector<std::vector<std::string>> settings = {
        {},
        {"--red", "4", "--skin", "-2"},
        {"--brightness", "25", "--contrast", "-20"},
        {"--white-balance", "000c0304"},
        {"--sharpen", "2"},
        {"--sharpen", "-3"},
        {"--effect", "sepia4", "--blue", "3"},
        {"--effect", "negative"},
        {"--rotation", "1", "--sharpen", "1"},
        {"--rotation", "-1", "--sharpen", "-1", "--green", "2"},
        {"--rotation", "2", "--effect", "bw", "--contrast", "10"},
    };
    for (const auto& s : settings) {
        const bool sideways = joined(s).find("--rotation 1") != std::string::npos ||
                              joined(s).find("--rotation -1") != std::string::npos;
        const int W = sideways ? 19 : 31, H = sideways ? 31 : 19;
        std::vector<std::string> wholeArgs = s;
        wholeArgs.insert(wholeArgs.end(), {photo.string(), "-o", (dir.path() / "whole").string(),
                                           "--strip-metadata"});
        const CliRun whole = runEnhance(wholeArgs);
        ASSERT_EQ(whole.status, 0) << joined(wholeArgs) << whole.err;
        DibImage wholePicture;
        ASSERT_TRUE(wholePicture.loadFromFile((dir.path() / "whole/enh_p.png").c_str(), PNG));
        ASSERT_EQ(wholePicture.width(), W) << joined(s);

        const int regions[][4] = {{0, 0, 4, 3},     {W - 5, H - 2, 5, 2}, {0, H - 1, W, 1},
                                  {W - 1, 0, 1, H}, {W / 2, H / 3, 1, 1}, {2, 3, W - 4, H - 6},
                                  {0, 0, W, H}};
        for (const auto& r : regions) {
            const std::string text = std::to_string(r[0]) + "," + std::to_string(r[1]) + "," +
                                     std::to_string(r[2]) + "," + std::to_string(r[3]);
            std::vector<std::string> args = s;
            args.insert(args.end(), {photo.string(), "-o", (dir.path() / "part").string(),
                                     "--strip-metadata", "--region", text});
            const CliRun part = runEnhance(args);
            ASSERT_EQ(part.status, 0) << joined(args) << part.err;
            DibImage partPicture;
            ASSERT_TRUE(partPicture.loadFromFile((dir.path() / "part/enh_p.png").c_str(), PNG));
            EXPECT_EQ(rowDifference(wholePicture, r, partPicture), "") << joined(args);
        }
    }
}

TEST(EnhanceRegionCli, ARegionOutsideAResultWritesNothing) {
    TempDir dir;
    const std::string big = (dir.path() / "big.png").string();
    const std::string small = (dir.path() / "small.png").string();
    ASSERT_TRUE(randomImage(40, 20, 24, 22).saveToFile(big.c_str(), PNG));
    ASSERT_TRUE(randomImage(10, 8, 24, 23).saveToFile(small.c_str(), PNG));
    const std::string out = (dir.path() / "out").string();
    struct Refusal {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Refusal> refusals = {
        {{big, "--region", "30,0,11,1"},
         "vantifex-cli: the region 30,0,11,1 lies outside the 40 x 20 result of " + big + "\n"},
        {{big, "--region", "0,20,1,1"},
         "vantifex-cli: the region 0,20,1,1 lies outside the 40 x 20 result of " + big + "\n"},
        // Inside the photo, not inside its turned result.
        {{big, "--rotation", "1", "--region", "0,0,40,20"},
         "vantifex-cli: the region 0,0,40,20 lies outside the 20 x 40 result of " + big + "\n"},
        // The first photo would take it; the second does not, so neither is written.
        {{big, small, "--region", "5,5,10,4"},
         "vantifex-cli: the region 5,5,10,4 lies outside the 10 x 8 result of " + small + "\n"},
    };
    for (const Refusal& r : refusals) {
        std::vector<std::string> args = r.args;
        args.insert(args.end(), {"-o", out});
        const CliRun run = runEnhance(args);
        EXPECT_EQ(run.status, 2) << joined(args);
        EXPECT_EQ(run.err, r.message) << joined(args);
        EXPECT_EQ(run.out, "") << joined(args);
        EXPECT_FALSE(fs::exists(out)) << joined(args);
    }
    for (const char* bad :
         {"1,2,3", "1,2,3,4,5", "0,0,0,4", "0,0,4,0", "-1,0,2,2", "a,b,c,d", "1,,2,3", ""}) {
        const std::vector<std::string> args = {big, "--region", bad, "-o", out};
        const CliRun run = runEnhance(args);
        EXPECT_EQ(run.status, 2) << joined(args);
        EXPECT_NE(run.err.find("--region needs X,Y,W,H"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(out)) << joined(args);
    }
}

// With a crop the region is a part of the cropped result (turned first, as the crop is), and
// its size is checked against the crop, not the photo.
TEST(EnhanceRegionCli, ARegionOfACroppedRunEqualsThatPartOfTheCroppedResult) {
    TempDir dir;
    const fs::path photo = dir.path() / "p.png";
    ASSERT_TRUE(randomImage(31, 19, 24, 23).saveToFile(photo.c_str(), PNG));
    const int regions[][4] = {{0, 0, 3, 2}, {6, 8, 4, 2}, {9, 0, 1, 10}, {0, 0, 10, 10}};
    for (const char* rotation : {"0", "1", "2"}) {
        const std::vector<std::string> common = {
            "--rotation", rotation,    "--sharpen",        "1",           "--red", "3",
            "--crop",     "2,3,10,10", "--strip-metadata", photo.string()};
        std::vector<std::string> croppedArgs = common;
        croppedArgs.insert(croppedArgs.end(), {"-o", (dir.path() / "cropped").string()});
        const CliRun cropped = runEnhance(croppedArgs);
        ASSERT_EQ(cropped.status, 0) << cropped.err;
        DibImage croppedPicture;
        ASSERT_TRUE(croppedPicture.loadFromFile((dir.path() / "cropped/enh_p.png").c_str(), PNG));
        ASSERT_EQ(croppedPicture.width(), 10);
        for (const auto& r : regions) {
            const std::string text = std::to_string(r[0]) + "," + std::to_string(r[1]) + "," +
                                     std::to_string(r[2]) + "," + std::to_string(r[3]);
            const fs::path out = dir.path() / ("part" + std::string(rotation) + text);
            std::vector<std::string> args = common;
            args.insert(args.end(), {"--region", text, "-o", out.string()});
            const CliRun part = runEnhance(args);
            ASSERT_EQ(part.status, 0) << text << part.err;
            DibImage partPicture;
            ASSERT_TRUE(partPicture.loadFromFile((out / "enh_p.png").c_str(), PNG)) << text;
            EXPECT_EQ(rowDifference(croppedPicture, r, partPicture), "")
                << "rotation " << rotation << " region " << text;
        }
        // Inside the photo but outside the 10 x 10 crop.
        std::vector<std::string> outside = common;
        outside.insert(outside.end(), {"--region", "5,5,8,2", "-o", (dir.path() / "no").string()});
        EXPECT_EQ(runEnhance(outside).status, 2);
        EXPECT_FALSE(fs::exists(dir.path() / "no"));
    }
}

}  // namespace
