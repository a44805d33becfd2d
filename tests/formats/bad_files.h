// The sweep over a format's folder of bad-* files: each file loads with its sides or fails
// with its message, and every bad file of the folder has its row.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "support/test_support.h"

namespace bad_files {

struct Outcome {
    const char* file;
    int32_t width, height;
    const char* error;  // null for a file that loads
};

inline void expectOutcomes(const std::string& folder, uint32_t type,
                           const std::vector<Outcome>& outcomes) {
    for (const Outcome& o : outcomes) {
        SCOPED_TRACE(o.file);
        DibImage img;
        const bool ok =
            img.loadFromFile(testing_support::dataPath(folder + "/" + o.file).c_str(), type);
        if (o.error) {
            EXPECT_FALSE(ok);
            EXPECT_FALSE(img.isValid());
            EXPECT_STREQ(img.lastError(), o.error);
            continue;
        }
        ASSERT_TRUE(ok) << img.lastError();
        EXPECT_EQ(img.width(), o.width);
        EXPECT_EQ(img.height(), o.height);
        // Touch every pixel so that a sanitizer sees any bad buffer.
        uint32_t sum = 0;
        for (int y = 0; y < img.height(); ++y)
            for (uint32_t i = 0; i < img.stride(); ++i) sum += img.row(y)[i];
        (void)sum;
    }
    // A new bad file needs its outcome here.
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testing_support::dataPath(folder)))
        if (entry.path().filename().string().rfind("bad-", 0) == 0) ++count;
    EXPECT_EQ(count, outcomes.size());
}

}  // namespace bad_files
