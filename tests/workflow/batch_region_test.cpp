// A batch with a region: each photo whose result holds it gets exactly that part written;
// one whose result does not fails with the region and the result's size, unwritten.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"
#include "workflow/batch_job.h"
#include "workflow/region_render.h"

namespace fs = std::filesystem;
using testing_support::randomImage;
using testing_support::sameImage;
using testing_support::TempDir;

namespace {

TEST(BatchRegion, WritesThePartOrRefusesAResultTooSmall) {
    TempDir dir;
    const std::string big = dir.file("big.png"), small = dir.file("small.png");
    const DibImage bigPicture = randomImage(20, 10, 24, 31);
    ASSERT_TRUE(bigPicture.saveToFile(big.c_str(), PNG));
    ASSERT_TRUE(randomImage(8, 6, 24, 32).saveToFile(small.c_str(), PNG));
    EnhancementSettings s;
    s.sharpen = 1;
    s.rotation = 1;  // results 10 x 20 and 6 x 8
    const CropRect region{4, 2, 5, 9};
    BatchJob job({big, small}, s, OutputRule::enhancedInto(dir.file("out")));
    job.setRegion(region);
    job.setStripMetadata(true);
    fs::create_directory(dir.file("out"));
    const std::vector<PhotoResult> results = job.run();
    ASSERT_EQ(results.size(), 2u);

    EXPECT_EQ(results[0].outcome, PhotoOutcome::kWritten) << results[0].reason;
    DibImage written;
    ASSERT_TRUE(written.loadFromFile(dir.file("out/enh_big.png").c_str(), PNG));
    PhotoEdit expected;
    ASSERT_TRUE(renderRegion(bigPicture, s, region, expected));
    std::string why;
    EXPECT_TRUE(sameImage(written, expected.image, &why)) << why;

    EXPECT_EQ(results[1].outcome, PhotoOutcome::kUnwritable);
    EXPECT_EQ(results[1].reason, "the region 4,2,5,9 lies outside the 6 x 8 result of " + small);
    EXPECT_FALSE(fs::exists(dir.file("out/enh_small.png")));
}

}  // namespace
