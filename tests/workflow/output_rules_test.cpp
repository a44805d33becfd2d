// The output name rule, the "autoset" folders, the batch's photo test and its summary.
#include "workflow/output_rules.h"

#include <gtest/gtest.h>

TEST(OutputRules, OutputNameIsEnhPlusSourceFileName) {
    EXPECT_EQ(outputNameFor("/photos/enhanced", "/photos/a.JPG"), "/photos/enhanced/enh_a.JPG");
    EXPECT_EQ(outputNameFor("/out/", "/photos/x.gif"), "/out/enh_x.gif");
    EXPECT_EQ(outputNameFor("", "/photos/c.png"), "enh_c.png");
    EXPECT_EQ(outputNameFor("/out", "plain.bmp"), "/out/enh_plain.bmp");
    // The second separator splits a name only when there is no '/'.
    EXPECT_EQ(outputNameFor("/out", "C:\\x\\y.png"), "/out/enh_y.png");
    EXPECT_EQ(outputNameFor("/out", "/a\\b/c.jpg"), "/out/enh_c.jpg");
}

TEST(OutputRules, AutosetIsTheEnhancedSubFolder) {
    EXPECT_EQ(autosetDirectory("/home/me/photos"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/home/me/photos/"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/"), "/enhanced");
    EXPECT_EQ(autosetDirectory(""), "enhanced");  // before any folder was chosen
}

TEST(OutputRules, BatchTriesPathsWithAPhotoExtensionAnywhere) {
    for (const char* yes : {"/p/a.JPG", "/p/c.png", "/p/y.jpeg", "/p/z.DIB", "/p/x.gif", "/p/b.bmp",
                            "/p/notes.jpg.txt", "/shots.png/readme.txt"})
        EXPECT_TRUE(isBatchPhotoPath(yes)) << yes;
    for (const char* no : {"/p/b.txt", "/p/photo.tif", "/p/jpg", "/p/a.pn g", ""})
        EXPECT_FALSE(isBatchPhotoPath(no)) << no;
}

TEST(OutputRules, FinishedMessageLines) {
    EXPECT_EQ(finishedMessage(2, 0, 0), "Finished processing 2 images.");
    EXPECT_EQ(finishedMessage(0, 0, 0), "Finished processing 0 images.");
    EXPECT_EQ(finishedMessage(3, 1, 0), "Finished processing 3 images.\n1 could not be read.");
    EXPECT_EQ(finishedMessage(3, 2, 1),
              "Finished processing 3 images.\n2 could not be read.\n1 could not be written.");
    EXPECT_EQ(finishedMessage(1, 0, 1), "Finished processing 1 images.\n1 could not be written.");
}
