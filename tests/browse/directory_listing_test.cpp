// DirectoryListing: open, scan and collect with and without a filter, on real folders.
#include "browse/directory_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST(DirectoryListing, ScanListsFilesSizesAndSubFolders) {
    TempDir dir;
    writeBytes(dir.file("a.JPG"), std::vector<uint8_t>(10));
    writeBytes(dir.file("b.txt"), std::vector<uint8_t>(5));
    writeBytes(dir.file("c.png"), std::vector<uint8_t>(7));
    fs::create_directory(dir.path() / "sub.jpg");
    writeBytes(dir.file("sub.jpg/inner.jpg"), std::vector<uint8_t>(100));

    DirectoryListing listing;
    listing.open(dir.path().string());
    EXPECT_EQ(listing.path(), dir.path().string());
    EXPECT_EQ(listing.name(), dir.path().filename().string());
    EXPECT_EQ(sorted(listing.fileNames()), (std::vector<std::string>{"a.JPG", "b.txt", "c.png"}));
    EXPECT_EQ(listing.totalSize(), 22u);  // sub-folders are not entered
    ASSERT_EQ(listing.subDirectories().size(), 1u);
    EXPECT_EQ(listing.subDirectories()[0].name(), "sub.jpg");
    EXPECT_EQ(listing.subDirectories()[0].path(), dir.file("sub.jpg"));
    EXPECT_TRUE(listing.subDirectories()[0].fileNames().empty());  // not scanned

    // The full paths come in the listing's own order, which collect keeps.
    std::vector<std::string> all;
    listing.collect(all, "");
    ASSERT_EQ(all.size(), 3u);
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i], dir.path().string() + "/" + listing.fileNames()[i]);
}

TEST(DirectoryListing, TrailingSeparatorAndSamePath) {
    TempDir dir;
    writeBytes(dir.file("x.gif"), {1});
    DirectoryListing listing;
    listing.open(dir.path().string() + "/");
    EXPECT_EQ(listing.path(), dir.path().string());
    std::vector<std::string> out;
    listing.collect(out, "");
    EXPECT_EQ(out, std::vector<std::string>{dir.file("x.gif")});

    // Opening the same folder again does not rescan; scan does.
    writeBytes(dir.file("y.gif"), {1});
    listing.open(dir.path().string());
    EXPECT_EQ(listing.fileNames().size(), 1u);
    listing.scan();
    EXPECT_EQ(listing.fileNames().size(), 2u);

    DirectoryListing root;
    root.open("/");
    EXPECT_EQ(root.path(), "/");
    std::vector<std::string> rootFiles;
    root.collect(rootFiles, "");
    for (const std::string& f : rootFiles) EXPECT_EQ(f.rfind("//", 0), std::string::npos) << f;
}

TEST(DirectoryListing, CollectWithFilterTokens) {
    TempDir dir;
    for (const char* name : {"Holiday.JPG", "x.Jpeg", "photo.tif", "notes.jpg.txt", "a.png"})
        writeBytes(dir.file(name), {1});
    DirectoryListing listing;
    listing.open(dir.path().string());

    std::vector<std::string> jpegs;
    listing.collect(jpegs, ".JPG,.jpeg");
    std::vector<std::string> names;
    for (auto& p : jpegs) names.push_back(fs::path(p).filename().string());
    EXPECT_EQ(sorted(names), (std::vector<std::string>{"Holiday.JPG", "notes.jpg.txt", "x.Jpeg"}));

    // Line breaks split too; empty tokens are ignored; a name is taken at most once.
    std::vector<std::string> some;
    listing.collect(some, "\r\n.png,,\n.PNG");
    ASSERT_EQ(some.size(), 1u);
    EXPECT_EQ(some[0], dir.file("a.png"));

    // collect appends to what the caller already has.
    std::vector<std::string> kept{"first"};
    listing.collect(kept, ".tif");
    EXPECT_EQ(kept, (std::vector<std::string>{"first", dir.file("photo.tif")}));
}

TEST(DirectoryListing, MissingFolderListsEmpty) {
    TempDir dir;
    DirectoryListing listing;
    listing.open(dir.file("does-not-exist"));
    EXPECT_TRUE(listing.fileNames().empty());
    EXPECT_TRUE(listing.subDirectories().empty());
    EXPECT_EQ(listing.totalSize(), 0u);
}
