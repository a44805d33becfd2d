// The batch takes exactly the files the thumbnail views show: both ask the photo rule.
#include <gtest/gtest.h>

#include "browse/photo_rule.h"
#include "support/test_support.h"
#include "tests/browse/photo_files.h"
#include "workflow/output_rules.h"

TEST(PhotoRuleAgreement, BatchAndThumbnailsTakeTheSameFiles) {
    testing_support::TempDir dir;
    const std::string d = dir.path().string() + "/";
    const auto cases = browse_testing::writeRuleFolder(d);
    ASSERT_FALSE(cases.empty());
    for (const auto& c : cases) {
        EXPECT_EQ(isBatchPhoto(d + c.name), c.type >= 0) << c.name;
        EXPECT_EQ(isBatchPhoto(d + c.name), photos::isPhoto(d + c.name)) << c.name;
    }
}
