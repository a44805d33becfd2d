// Putting a saved file in place: what a save killed part-way leaves, the clean-up of named
// temporaries whose process is gone, the named route where no unnamed file can be made,
// and symbolic links planted in shared folders.
#include "formats/replacement_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::makeF;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

Names namesIn(const fs::path& dir) {
    Names names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A process id that surely belongs to no process: a child that has ended and been reaped.
pid_t goneProcess() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

// Saves path in a child that the test kills with SIGKILL once the picture is encoded (the
// finisher is the hook where it waits). True when the kill came while the child waited.
bool killMidSave(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fds[0]);
        const DibImage img = testing_support::randomImage(64, 48, 24, 7);
        img.saveToFile(path.c_str(), JPEG, [&](const char*, uint32_t) {
            const char ready = 'r';
            if (write(fds[1], &ready, 1) != 1) _exit(3);
            for (;;) pause();
            return true;
        });
        _exit(2);  // the save ended: the kill did not come in time
    }
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    char byte = 0;
    const bool waiting = poll(&ready, 1, 20000) == 1 && read(fds[0], &byte, 1) == 1;
    kill(pid, SIGKILL);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return waiting && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST(ReplacementFile, ASaveKilledPartWayLeavesNothingBehind) {
    const Bytes old = {'o', 'l', 'd'};
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing a file" : "a new file");
        TempDir dir;
        const std::string path = dir.file("enh_p01.jpg");
        if (replacing) writeBytes(path, old);
        for (int attempt = 0; attempt < 3; ++attempt) ASSERT_TRUE(killMidSave(path));
        EXPECT_EQ(namesIn(dir.path()), replacing ? Names{"enh_p01.jpg"} : Names{});
        if (replacing) {
            EXPECT_EQ(readBytes(path), old);
        }
    }
}

TEST(ReplacementFile, ASaveRemovesTemporariesWhoseProcessIsGone) {
    TempDir dir;
    const std::string gone = std::to_string(goneProcess());
    const std::string alive = std::to_string(getpid());
    const std::string parent = std::to_string(getppid());
    const struct Case {
        std::string name;
        bool removed;
    } cases[] = {
        {".p01.jpg." + gone + ".0.0badf00d.tmp", true},
        {".enh_p 02.png." + gone + ".17.12345678.tmp", true},
        {".p01.jpg." + alive + ".1.0badf00d.tmp", false},   // this process: in hand
        {".p01.jpg." + parent + ".1.0badf00d.tmp", false},  // another live process
        {"p01.jpg." + gone + ".0.0badf00d.tmp", false},     // not hidden
        {".p01.jpg." + gone + ".0.0badf00.tmp", false},     // seven hex digits
        {".p01.jpg." + gone + ".0.0BADF00D.tmp", false},    // not as made here
        {".p01.jpg." + gone + ".x.0badf00d.tmp", false},
        {".p01.jpg." + gone + ".0.0badf00d.txt", false},
        {"." + gone + ".0.0badf00d.tmp", false},  // no name before the number
        {".p01.jpg.0.0.0badf00d.tmp", false},
    };
    for (const Case& c : cases) writeBytes(dir.file(c.name), {1});
    // A folder or a link of that pattern is not a temporary of ours.
    const std::string folder = ".dir." + gone + ".0.0badf00d.tmp";
    const std::string link = ".link." + gone + ".0.0badf00d.tmp";
    fs::create_directory(dir.file(folder));
    fs::create_symlink("p01.jpg", dir.file(link));
    Names kept = {folder, link};
    for (const Case& c : cases)
        if (!c.removed) kept.push_back(c.name);

    DibImage img = makeF();
    ASSERT_TRUE(img.saveToFile(dir.file("new.jpg").c_str(), JPEG)) << img.lastError();
    kept.push_back("new.jpg");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(namesIn(dir.path()), kept);
}

TEST(ReplacementFile, AnotherUsersTemporaryStays) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    TempDir dir;
    const std::string name =
        dir.file(".p.jpg." + std::to_string(goneProcess()) + ".0.0badf00d.tmp");
    writeBytes(name, {1});
    ASSERT_EQ(lchown(name.c_str(), 65534, 65534), 0);
    EXPECT_EQ(formats::removeStaleTemporaries(dir.path().string()), 0);
    EXPECT_TRUE(fs::exists(name));
}

// The route taken where the file system makes no unnamed files, and the unnamed one.
TEST(ReplacementFile, BothRoutesReplaceOnlyOnCommit) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        TempDir dir;
        const std::string target = dir.file("out.bmp");
        writeBytes(target, {'o', 'l', 'd'});
        ASSERT_EQ(chmod(target.c_str(), 0604), 0);
        struct stat old {};
        ASSERT_EQ(stat(target.c_str(), &old), 0);

        formats::ReplacementFile abandoned;
        ASSERT_EQ(abandoned.open(target, &old, unnamed), 0);
        EXPECT_EQ(abandoned.unnamed(), unnamed);
        ASSERT_EQ(write(abandoned.fd(), "half", 4), 4);
        EXPECT_EQ(namesIn(dir.path()).size(), unnamed ? 1u : 2u);
        abandoned.abandon();
        EXPECT_EQ(namesIn(dir.path()), Names{"out.bmp"});
        EXPECT_EQ(readBytes(target), (Bytes{'o', 'l', 'd'}));

        formats::ReplacementFile file;
        ASSERT_EQ(file.open(target, &old, unnamed), 0);
        ASSERT_EQ(write(file.fd(), "new", 3), 3);
        // The path opens the same file again, as the metadata step rewrites it.
        writeBytes(file.path(), {'r', 'e', 'w', 'r', 'i', 't', 't', 'e', 'n'});
        EXPECT_EQ(readBytes(target), (Bytes{'o', 'l', 'd'}));
        ASSERT_EQ(file.commit(), 0);
        EXPECT_EQ(readBytes(target), (Bytes{'r', 'e', 'w', 'r', 'i', 't', 't', 'e', 'n'}));
        struct stat now {};
        ASSERT_EQ(stat(target.c_str(), &now), 0);
        EXPECT_EQ(now.st_mode & 07777, mode_t(0604));
        EXPECT_EQ(namesIn(dir.path()), Names{"out.bmp"});

        // A new name appears only on commit.
        const std::string fresh = dir.file("fresh.bmp");
        formats::ReplacementFile made;
        ASSERT_EQ(made.open(fresh, nullptr, unnamed), 0);
        ASSERT_EQ(write(made.fd(), "x", 1), 1);
        EXPECT_FALSE(fs::exists(fresh));
        ASSERT_EQ(made.commit(), 0);
        EXPECT_EQ(readBytes(fresh), Bytes{'x'});
        EXPECT_EQ(namesIn(dir.path()), (Names{"fresh.bmp", "out.bmp"}));
    }
}

TEST(ReplacementFile, OpenSaysWhyTheFolderRefused) {
    TempDir dir;
    writeBytes(dir.file("plain"), {1});
    formats::ReplacementFile file;
    for (const bool unnamed : {true, false}) {
        EXPECT_EQ(file.open(dir.file("missing/x.jpg"), nullptr, unnamed), ENOENT);
        EXPECT_EQ(file.open(dir.file("plain/x.jpg"), nullptr, unnamed), ENOTDIR);
    }
    EXPECT_EQ(namesIn(dir.path()), Names{"plain"});
}

// --- symbolic links in shared folders ---

constexpr uid_t kOtherUser = 65534;

struct SharedFolders {
    TempDir dir;
    std::string victim = dir.file("private/victim.jpg");
    Bytes old = {'r', 'o', 'o', 't'};

    SharedFolders() {
        fs::create_directory(dir.file("private"));
        writeBytes(victim, old);
    }
    // A folder of the given mode and owner holding a link "NAME" -> target owned by owner.
    std::string linkIn(const std::string& folder, mode_t mode, uid_t folderOwner,
                       const std::string& name, const std::string& to, uid_t linkOwner) const {
        const std::string f = dir.file(folder);
        fs::create_directory(f);
        EXPECT_EQ(chmod(f.c_str(), mode), 0);
        EXPECT_EQ(chown(f.c_str(), folderOwner, folderOwner), 0);
        const std::string link = f + "/" + name;
        fs::create_symlink(to, link);
        EXPECT_EQ(lchown(link.c_str(), linkOwner, linkOwner), 0);
        return link;
    }
};

TEST(SharedFolderLinks, AreFollowedOnlyWhenTheUserOrTheFolderOwnerMadeThem) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant another user's link";
    SharedFolders s;
    const uid_t me = geteuid();
    const std::string privateDir = s.dir.file("private");
    const struct Case {
        const char* folder;
        mode_t mode;
        uid_t folderOwner, linkOwner;
        bool followed;
    } cases[] = {
        {"sticky-shared", 01777, me, kOtherUser, false},
        {"sticky-shared-mine", 01777, me, me, true},
        {"sticky-shared-of-other", 01777, kOtherUser, kOtherUser, true},
        {"shared-not-sticky", 0777, me, kOtherUser, true},
        {"sticky-not-shared", 01775, me, kOtherUser, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        writeBytes(s.victim, s.old);
        const std::string link =
            s.linkIn(c.folder, c.mode, c.folderOwner, "enh_p01.jpg", s.victim, c.linkOwner);
        DibImage img = makeF();
        const bool saved = img.saveToFile(link.c_str(), JPEG);
        EXPECT_EQ(saved, c.followed) << img.lastError();
        EXPECT_TRUE(fs::is_symlink(link));
        if (c.followed) {
            EXPECT_NE(readBytes(s.victim), s.old);
        } else {
            EXPECT_EQ(
                std::string(img.lastError()),
                "cannot write " + link + ": symbolic link in a shared folder not owned by you");
            EXPECT_EQ(readBytes(s.victim), s.old);
        }
        EXPECT_EQ(namesIn(privateDir), Names{"victim.jpg"});
    }
}

TEST(SharedFolderLinks, ALinkedFolderOnTheWayIsRefusedToo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant another user's link";
    SharedFolders s;
    const std::string link =
        s.linkIn("tmp", 01777, geteuid(), "out", s.dir.file("private"), kOtherUser);
    DibImage img = makeF();
    const std::string path = link + "/victim.jpg";
    EXPECT_FALSE(img.saveToFile(path.c_str(), JPEG));
    EXPECT_EQ(std::string(img.lastError()),
              "cannot write " + path + ": symbolic link in a shared folder not owned by you");
    EXPECT_EQ(readBytes(s.victim), s.old);
    // The same way in through a relative path.
    const fs::path before = fs::current_path();
    fs::current_path(s.dir.path());
    EXPECT_FALSE(img.saveToFile("tmp/out/victim.jpg", JPEG));
    fs::current_path(before);
    EXPECT_EQ(readBytes(s.victim), s.old);
}

TEST(SharedFolderLinks, WalkFollowsLinksAsOpenDoes) {
    TempDir dir;
    fs::create_directories(dir.file("a/b"));
    fs::create_symlink("a/b", dir.file("rel"));
    fs::create_symlink(dir.file("a"), dir.file("abs"));
    fs::create_symlink("nowhere", dir.file("dangling"));
    const std::string real = fs::canonical(dir.path()).string();
    const struct {
        std::string path, resolved;
    } cases[] = {
        {dir.file("rel/x.jpg"), ""},  // missing at the end: nothing to resolve
        {dir.file("rel"), real + "/a/b"},
        {dir.file("abs/b/../b/./"), real + "/a/b"},
        {dir.file("abs/../rel"), real + "/a/b"},
        {dir.file("dangling"), ""},
    };
    for (const auto& c : cases) {
        std::string refused, resolved = "left over";
        EXPECT_FALSE(formats::refusesSharedLink(c.path, &refused, &resolved)) << c.path;
        EXPECT_EQ(resolved, c.resolved) << c.path;
        EXPECT_EQ(refused, "") << c.path;
    }
}

}  // namespace
