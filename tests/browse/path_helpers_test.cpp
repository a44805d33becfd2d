// The path and list helpers: the worked examples with '/' as the separator and '\' as the
// second one, case-blind comparisons, the stable sort and the folder picker hook.
#include "browse/path_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

using namespace paths;

TEST(PathHelpers, JoinPathAddsSeparatorAndExtension) {
    EXPECT_EQ(joinPath("/Photos", "a.jpg"), "/Photos/a.jpg");
    EXPECT_EQ(joinPath("/Photos/", "a.jpg"), "/Photos/a.jpg");
    EXPECT_EQ(joinPath("", "a.jpg"), "a.jpg");
    EXPECT_EQ(joinPath("/Out", "enh_a", "jpg"), "/Out/enh_a.jpg");
    // A name that already has a dot keeps it; an extension with a dot is used as it is.
    EXPECT_EQ(joinPath("/Out", "a.b", "jpg"), "/Out/a.b");
    EXPECT_EQ(joinPath("/Out", "x", ".png"), "/Out/x.png");
    EXPECT_EQ(joinPath("/", "x"), "/x");
}

TEST(PathHelpers, ParentAndFileNameUseLastSeparator) {
    EXPECT_EQ(parentPath("/Photos/"), "/Photos");  // the trailing separator is the last one
    EXPECT_EQ(parentPath("/Photos/a.jpg"), "/Photos");
    EXPECT_EQ(parentPath("a.jpg"), "a.jpg");
    // With no '/', the second separator splits.
    EXPECT_EQ(parentPath("C:\\"), "C:");
    EXPECT_EQ(parentPath("C:\\x\\y.png"), "C:\\x");
    // '/' wins over '\' when both occur.
    EXPECT_EQ(parentPath("a\\b/c\\d"), "a\\b");

    EXPECT_EQ(fileNameOf("/Photos/"), "");
    EXPECT_EQ(fileNameOf("C:/x/y.png"), "y.png");
    EXPECT_EQ(fileNameOf("C:\\x\\y.png"), "y.png");
    EXPECT_EQ(fileNameOf("y.png"), "y.png");
    EXPECT_EQ(fileNameOf("a\\b/c\\d"), "c\\d");
}

TEST(PathHelpers, EnsureExtensionAndCutAtText) {
    EXPECT_EQ(ensureExtension("/x/photo", "jpg"), "/x/photo.jpg");
    EXPECT_EQ(ensureExtension("/x/photo.JPG", "jpg"), "/x/photo.JPG");
    EXPECT_EQ(ensureExtension("/x/a.jpg.txt", "jpg"), "/x/a.jpg.txt");  // contained anywhere
    EXPECT_EQ(cutAtText("Vantifex - a.jpg", " - "), "Vantifex");
    EXPECT_EQ(cutAtText("Vantifex", " - "), "Vantifex");
    EXPECT_EQ(cutAtText("", "x"), "");
}

TEST(PathHelpers, MatchTextAndNameLists) {
    EXPECT_TRUE(matchText("Photo", "Photo", false, false));
    EXPECT_FALSE(matchText("Photo", "photo", false, false));
    EXPECT_TRUE(matchText("Photo", "photo", true, false));
    EXPECT_FALSE(matchText("Photos", "photo", true, false));
    EXPECT_TRUE(matchText("MyPhotos", "Photo", false, true));
    EXPECT_FALSE(matchText("MyPhotos", "photo", false, true));
    EXPECT_TRUE(matchText("MyPhotos", "PHOTO", true, true));
    EXPECT_FALSE(matchText("photo", "photos", true, true));

    std::vector<std::string> list{"alpha", "Beta", "beta", "gamma"};
    EXPECT_TRUE(containsName(list, "BETA"));
    EXPECT_FALSE(containsName(list, "delta"));
    EXPECT_TRUE(removeName(list, "BETA"));
    EXPECT_EQ(list, (std::vector<std::string>{"alpha", "beta", "gamma"}));  // first one only
    EXPECT_FALSE(removeName(list, "delta"));
    EXPECT_EQ(list.size(), 3u);
}

TEST(PathHelpers, SortNamesIsStableAndCaseBlind) {
    std::vector<std::string> list{"b", "A", "a"};
    sortNames(list);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "a", "b"}));

    std::vector<std::string> more{"img10", "IMG2", "img1", "Img1", "_x", "Z", "\xc3\xa9t\xc3\xa9"};
    sortNames(more);
    // Byte order of the lower-cased names: '1' < '2', '_' (0x5f) < 'i', UTF-8 bytes last.
    EXPECT_EQ(more, (std::vector<std::string>{"_x", "img1", "Img1", "img10", "IMG2", "Z",
                                              "\xc3\xa9t\xc3\xa9"}));
    std::vector<std::string> empty;
    sortNames(empty);
    EXPECT_TRUE(empty.empty());
}

TEST(PathHelpers, LowerCasingLeavesNonAsciiBytes) {
    EXPECT_EQ(toLower("ABC.JPG"), "abc.jpg");
    EXPECT_EQ(toLower("\xc3\x89T\xc3\x89.PNG"), "\xc3\x89t\xc3\x89.png");
    EXPECT_EQ(intToText(-42), "-42");
    EXPECT_EQ(intToText(0), "0");
}

TEST(PathHelpers, FileExistsOnlyForReadableFiles) {
    testing_support::TempDir dir;
    const std::string file = dir.file("a.jpg");
    testing_support::writeBytes(file, {1, 2, 3});
    EXPECT_TRUE(fileExists(file));
    EXPECT_FALSE(fileExists(dir.file("missing.jpg")));
    EXPECT_FALSE(fileExists(dir.path().string()));  // a folder is not a file
    EXPECT_FALSE(fileExists(""));
    // A named pipe without a writer must not block the test.
    const std::string pipe = dir.file("pipe.jpg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_TRUE(fileExists(pipe));
    if (geteuid() != 0) {  // root reads everything
        const std::string locked = dir.file("locked.jpg");
        testing_support::writeBytes(locked, {1});
        chmod(locked.c_str(), 0);
        EXPECT_FALSE(fileExists(locked));
    }
}

namespace {

class ScriptedPicker : public FolderPicker {
  public:
    std::string answer;
    std::string seenInitial;
    std::string pickFolder(const std::string& initialFolder) override {
        seenInitial = initialFolder;
        return answer;
    }
};

}  // namespace

TEST(PathHelpers, PickFolderGoesThroughThePicker) {
    ScriptedPicker picker;
    picker.answer = "/home/me/out";
    EXPECT_EQ(pickFolder(&picker, "/home/me"), "/home/me/out");
    EXPECT_EQ(picker.seenInitial, "/home/me");
    picker.answer.clear();  // cancelled
    EXPECT_EQ(pickFolder(&picker, ""), "");
    EXPECT_EQ(pickFolder(nullptr, "/x"), "");
    EXPECT_STREQ(kPickFolderTitle, "Select a folder");
}
