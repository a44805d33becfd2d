// Folder events turned into view edits: each kind alone, the sequences programs write
// (temporary file renamed over, swap through a third name) and names that are no photos.
#include "browse/folder_changes.h"

#include <gtest/gtest.h>

using folders::FolderEdit;
using folders::FolderEvent;

namespace {

bool endsJpg(const std::string& name, const void*) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
}

FolderEvent ev(FolderEvent::Kind k, const std::string& name, uint32_t cookie = 0) {
    return FolderEvent{k, name, cookie};
}
FolderEdit rm(const std::string& n) {
    return {FolderEdit::Remove, n, ""};
}
FolderEdit mv(const std::string& a, const std::string& b) {
    return {FolderEdit::Rename, a, b};
}
FolderEdit re(const std::string& n) {
    return {FolderEdit::Refresh, n, ""};
}
FolderEdit add(const std::string& n) {
    return {FolderEdit::Add, n, ""};
}

}  // namespace

TEST(FolderEdits, Table) {
    using E = FolderEvent;
    const struct {
        const char* name;
        std::vector<FolderEvent> events;
        std::vector<FolderEdit> expect;
    } cases[] = {
        {"nothing happened", {}, {}},
        {"a photo created and written",
         {ev(E::Created, "c.jpg"), ev(E::Written, "c.jpg")},
         {add("c.jpg")}},
        {"a file that is no photo", {ev(E::Created, "n.txt"), ev(E::Written, "n.txt")}, {}},
        {"a photo deleted", {ev(E::Deleted, "a.jpg")}, {rm("a.jpg")}},
        {"a photo rewritten in place", {ev(E::Written, "b.jpg")}, {re("b.jpg")}},
        {"renamed",
         {ev(E::MovedOut, "a.jpg", 7), ev(E::MovedIn, "z.jpg", 7)},
         {mv("a.jpg", "z.jpg")}},
        {"renamed to no photo",
         {ev(E::MovedOut, "a.jpg", 7), ev(E::MovedIn, "a.txt", 7)},
         {rm("a.jpg")}},
        {"a text file renamed to a photo",
         {ev(E::MovedOut, "n.txt", 3), ev(E::MovedIn, "n.jpg", 3)},
         {add("n.jpg")}},
        {"moved out of the folder", {ev(E::MovedOut, "b.jpg", 4)}, {rm("b.jpg")}},
        {"moved in from elsewhere", {ev(E::MovedIn, "d.jpg", 5)}, {add("d.jpg")}},
        {"written to a temporary, renamed over a shown photo",
         {ev(E::Created, "b.jpg.tmp"), ev(E::Written, "b.jpg.tmp"), ev(E::MovedOut, "b.jpg.tmp", 9),
          ev(E::MovedIn, "b.jpg", 9)},
         {re("b.jpg")}},
        {"renamed over another shown photo",
         {ev(E::MovedOut, "a.jpg", 2), ev(E::MovedIn, "b.jpg", 2)},
         {rm("b.jpg"), mv("a.jpg", "b.jpg")}},
        {"swapped through a third name",
         {ev(E::MovedOut, "a.jpg", 1), ev(E::MovedIn, "t.jpg", 1), ev(E::MovedOut, "b.jpg", 2),
          ev(E::MovedIn, "a.jpg", 2), ev(E::MovedOut, "t.jpg", 3), ev(E::MovedIn, "b.jpg", 3)},
         {mv("b.jpg", "a.jpg"), mv("a.jpg", "b.jpg")}},
        {"created and deleted again", {ev(E::Created, "c.jpg"), ev(E::Deleted, "c.jpg")}, {}},
        {"deleted and made again",
         {ev(E::Deleted, "a.jpg"), ev(E::Created, "a.jpg")},
         {re("a.jpg")}},
        {"renamed and written",
         {ev(E::MovedOut, "a.jpg", 6), ev(E::MovedIn, "y.jpg", 6), ev(E::Written, "y.jpg")},
         {mv("a.jpg", "y.jpg"), re("y.jpg")}},
        {"everything at once",
         {ev(E::Deleted, "a.jpg"), ev(E::Written, "b.jpg"), ev(E::Created, "c.jpg")},
         {rm("a.jpg"), re("b.jpg"), add("c.jpg")}},
    };
    for (const auto& c : cases) {
        const auto got = folders::folderEdits({"a.jpg", "b.jpg"}, c.events, endsJpg, nullptr);
        ASSERT_EQ(got.size(), c.expect.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.expect[i].kind) << c.name << " " << i;
            EXPECT_EQ(got[i].name, c.expect[i].name) << c.name << " " << i;
            EXPECT_EQ(got[i].newName, c.expect[i].newName) << c.name << " " << i;
        }
    }
}
