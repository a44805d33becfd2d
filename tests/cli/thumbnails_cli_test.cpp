// vantifex-cli thumbnails: fills the cache named by XDG_CACHE_HOME for folders and single
// photos, keeps what is up to date, reports progress on stderr and a summary on stdout.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using cli_testing::CliRun;
using testing_support::TempDir;

namespace {

CliRun runThumbnails(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "thumbnails");
    return cli_testing::runTool(args,
                                "XDG_CACHE_HOME=" + cli_testing::quote(dir.file("xdg")) + " ");
}

size_t pngsIn(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) n += e.path().extension() == ".png";
    return n;
}

void writeJpeg(const std::string& path, int32_t w, int32_t h) {
    DibImage image(w, h, 24, JPEG);
    ASSERT_TRUE(image.saveToFile(path.c_str(), JPEG)) << path;
}

}  // namespace

TEST(ThumbnailsCli, FillsFoldersAndFilesThenKeepsThem) {
    TempDir dir;
    fs::create_directories(dir.file("photos/sub"));
    for (int i = 0; i < 5; ++i)
        writeJpeg(dir.file("photos/p" + std::to_string(i) + ".jpg"), 300, 200);
    writeJpeg(dir.file("photos/sub/deeper.jpg"), 300, 200);  // sub-folders are not walked
    testing_support::writeBytes(dir.file("photos/notes.txt"), {'x'});
    writeJpeg(dir.file("single.jpg"), 600, 400);

    CliRun run = runThumbnails(dir, {"--jobs", "2", dir.file("photos"), dir.file("single.jpg")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("6 photos: 6 made, 0 already cached, 0 failed"), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("thumbnails: 6 of 6"), std::string::npos) << run.err;
    EXPECT_EQ(pngsIn(dir.file("xdg/thumbnails/normal")), 6u);

    run = runThumbnails(dir, {dir.file("photos"), dir.file("single.jpg")});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("6 photos: 0 made, 6 already cached"), std::string::npos) << run.out;

    run = runThumbnails(dir, {"--size", "xx-large", dir.file("single.jpg")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(pngsIn(dir.file("xdg/thumbnails/xx-large")), 1u);
}

TEST(ThumbnailsCli, FailuresAndBadArguments) {
    TempDir dir;
    testing_support::writeBytes(dir.file("broken.jpg"), {0xFF, 0xD8, 0xFF});
    CliRun run = runThumbnails(dir, {dir.file("broken.jpg"), dir.file("missing.jpg")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Cannot make a thumbnail of " + dir.file("broken.jpg")),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Cannot read " + dir.file("missing.jpg")), std::string::npos) << run.err;
    EXPECT_EQ(pngsIn(dir.file("xdg/thumbnails/fail/vantifex-" VFX_VERSION_TEXT)), 1u);

    const std::vector<std::vector<std::string>> bad = {
        {}, {"--size", "huge", "x"}, {"--jobs", "0", "x"}, {"--jobs"}, {"--frobnicate", "x"}};
    for (const auto& args : bad) {
        run = runThumbnails(dir, args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(run.err.rfind("usage: ", 0), 0u) << run.err;
    }
    run = runThumbnails(dir, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--size SIZE"), std::string::npos);
}
