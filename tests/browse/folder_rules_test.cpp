// Folder tree rules on temporary folders: sub-folder listings, the child refresh plan,
// new-folder names, and creating and renaming folders with their refusals.
#include "browse/folder_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace folders;
using testing_support::TempDir;
using testing_support::writeBytes;

TEST(FolderRules, ListSubdirectoriesSkipsFilesAndHiddenFolders) {
    TempDir dir;
    const std::string d = dir.path().string();
    fs::create_directory(d + "/Photos");
    fs::create_directory(d + "/.cache");
    fs::create_directory(d + "/b");
    writeBytes(d + "/file.jpg", {1});
    std::vector<std::string> subs = listSubdirectories(d);
    std::sort(subs.begin(), subs.end());
    EXPECT_EQ(subs, (std::vector<std::string>{d + "/Photos", d + "/b"}));
    // A trailing separator is not doubled.
    std::vector<std::string> slashed = listSubdirectories(d + "/");
    std::sort(slashed.begin(), slashed.end());
    EXPECT_EQ(slashed, subs);
    EXPECT_TRUE(listSubdirectories(d + "/missing").empty());
    EXPECT_TRUE(listSubdirectories("").empty());
    EXPECT_TRUE(listSubdirectories(kMyComputerPath).empty());
}

TEST(FolderRules, PlanChildren) {
    const struct {
        const char* name;
        std::vector<ChildItem> children;
        std::vector<std::string> names;
        std::vector<size_t> remove;
        std::vector<std::string> add;
    } cases[] = {
        // clang-format off: name; children; names on disk; indexes removed; paths added
        {"first expansion: the placeholder goes, the folders come sorted",
         {{".", kPlaceholder}},
         {"/p/b", "/p/C", "/p/a"},
         {0},
         {"/p/a", "/p/b", "/p/C"}},
        {"expanding again changes nothing",
         {{"a", kFolder}, {"b", kFolder}, {"C", kFolder}},
         {"/p/b", "/p/C", "/p/a"},
         {},
         {}},
        {"a folder gone from disk goes, a new one comes, case is ignored",
         {{"A", kFolder}, {"gone", kFolder}},
         {"/p/a", "/p/new"},
         {1},
         {"/p/new"}},
        {"special items and drives stay",
         {{"My Documents", kMyDocuments},
          {"Home", kMyDocuments},
          {"My Computer", kMyComputer},
          {"/media/x/", kDrive},
          {"old", kFolder}},
         {},
         {4},
         {}},
        {"drives of My Computer by their whole mount path",
         {{"/", kDrive}},
         {"/media/usb/", "/"},
         {},
         {"/media/usb/"}},
        {"an empty folder loses its placeholder", {{".", kPlaceholder}}, {}, {0}, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const ChildUpdate u = planChildren(c.children, c.names);
        EXPECT_EQ(u.remove, c.remove) << c.name;
        EXPECT_EQ(u.add, c.add) << c.name;
    }
}

TEST(FolderRules, NewFolderNames) {
    EXPECT_EQ(newFolderName({}), "New Folder");
    EXPECT_EQ(newFolderName({"Photos"}), "New Folder");
    EXPECT_EQ(newFolderName({"New Folder"}), "New Folder (2)");
    EXPECT_EQ(newFolderName({"New Folder", "new folder (2)"}), "New Folder (3)");
    EXPECT_EQ(newFolderName({"new folder (2)"}), "New Folder");
}

TEST(FolderRules, CreateAndRename) {
    TempDir dir;
    const std::string d = dir.path().string();
    std::string why;
    EXPECT_TRUE(createFolder(d + "/New Folder", &why));
    EXPECT_FALSE(createFolder(d + "/New Folder", &why));
    EXPECT_FALSE(why.empty());
    why.clear();
    EXPECT_FALSE(createFolder(d + "/missing/x", &why));
    EXPECT_FALSE(why.empty());

    fs::create_directory(d + "/taken");
    fs::create_directory(d + "/a");
    writeBytes(d + "/a/keep.jpg", {1});
    const struct {
        const char* newName;
        bool ok;
    } refused[] = {{"", false},    {".", false},     {"..", false},
                   {"x/y", false}, {"taken", false}, {"a", true}};
    for (const auto& c : refused) {
        why.clear();
        EXPECT_EQ(renameFolder(d + "/a", c.newName, &why), c.ok) << c.newName;
        EXPECT_EQ(why.empty(), c.ok) << c.newName;
        EXPECT_TRUE(fs::exists(d + "/a/keep.jpg")) << c.newName;  // nothing moved
        EXPECT_TRUE(fs::is_directory(d + "/taken")) << c.newName;
    }
    EXPECT_TRUE(renameFolder(d + "/a", "Holiday 2004", &why));
    EXPECT_TRUE(fs::exists(d + "/Holiday 2004/keep.jpg"));
    EXPECT_FALSE(fs::exists(d + "/a"));
    EXPECT_FALSE(renameFolder(d + "/gone", "b", &why));
    EXPECT_FALSE(why.empty());
}
