// The output name rule, the "autoset" folders, the batch's photo test and its summary.
#include "workflow/output_rules.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>

#include "support/test_support.h"

TEST(OutputRules, OutputNameIsEnhPlusSourceFileName) {
    EXPECT_EQ(outputNameFor("/photos/enhanced", "/photos/a.JPG"), "/photos/enhanced/enh_a.JPG");
    EXPECT_EQ(outputNameFor("/out/", "/photos/x.gif"), "/out/enh_x.gif");
    EXPECT_EQ(outputNameFor("", "/photos/c.png"), "enh_c.png");
    EXPECT_EQ(outputNameFor("/out", "plain.bmp"), "/out/enh_plain.bmp");
    // The second separator splits a name only when there is no '/'.
    EXPECT_EQ(outputNameFor("/out", "C:\\x\\y.png"), "/out/enh_y.png");
    EXPECT_EQ(outputNameFor("/out", "/a\\b/c.jpg"), "/out/enh_c.jpg");
    // What is only read, and icons, become PNG; every other name stays.
    EXPECT_EQ(outputNameFor("/out", "/p/Scan.PCX"), "/out/enh_Scan.png");
    EXPECT_EQ(outputNameFor("/out", "/p/app.ico"), "/out/enh_app.png");
    EXPECT_EQ(outputNameFor("/out", "/p/arrow.cur"), "/out/enh_arrow.png");
    EXPECT_EQ(outputNameFor("/out", "/p.pcx/a.tif"), "/out/enh_a.tif");
    EXPECT_EQ(outputNameFor("/out", "/p/z.dib"), "/out/enh_z.dib");
}

TEST(OutputRules, AutosetIsTheEnhancedSubFolder) {
    EXPECT_EQ(autosetDirectory("/home/me/photos"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/home/me/photos/"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/"), "/enhanced");
    EXPECT_EQ(autosetDirectory(""), "enhanced");  // before any folder was chosen
}

TEST(OutputRules, BatchTakesFilesByContentThenByName) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir.file("shots.png"));
    const std::vector<uint8_t> png =
        testing_support::readBytes(testing_support::dataPath("png/rgb8.png"));
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
    const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;  // nullptr: no such file
        bool taken;
    } cases[] = {
        {"a.JPG", &png, true},      {"photo.tif", &png, true},  // the content speaks
        {"photo", &png, true},      {"b.txt", &png, true},
        {"c.png", &text, true},     {"z.DIB", &text, true},  // else the name does
        {"scan.tiff", &text, true}, {"gone.png", nullptr, true},
        {"b.txt", &text, false},    {"notes.jpg.txt", &text, false},
        {"jpg", &text, false},      {"shots.png/readme.txt", &text, false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.bytes) testing_support::writeBytes(path, *c.bytes);
        EXPECT_EQ(isBatchPhoto(path), c.taken) << c.name;
    }
    // Never opened, so never waited on: a named pipe, a folder.
    ASSERT_EQ(mkfifo(dir.file("pipe.png").c_str(), 0600), 0);
    EXPECT_FALSE(isBatchPhoto(dir.file("pipe.png")));
    EXPECT_FALSE(isBatchPhoto(dir.file("shots.png")));
}

TEST(OutputRules, FinishedMessageLines) {
    EXPECT_EQ(finishedMessage(2, 0, 0), "Finished processing 2 images.");
    EXPECT_EQ(finishedMessage(0, 0, 0), "Finished processing 0 images.");
    EXPECT_EQ(finishedMessage(3, 1, 0), "Finished processing 3 images.\n1 could not be read.");
    EXPECT_EQ(finishedMessage(3, 2, 1),
              "Finished processing 3 images.\n2 could not be read.\n1 could not be written.");
    EXPECT_EQ(finishedMessage(1, 0, 1), "Finished processing 1 images.\n1 could not be written.");
}

namespace {

namespace fs = std::filesystem;

// Runs check in a child process and gives what it reported ("" when it passed, "skip: ..."
// when the child could not set itself up).
std::string inChild(const std::function<std::string()>& check) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        close(fds[0]);
        const std::string result = check();
        if (write(fds[1], result.data(), result.size()) < 0) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += " (child failed)";
    return out;
}

// "" when creating directory gave error with failed as the folder that failed.
std::string expectCreate(const std::string& directory, int error, const std::string& failed) {
    std::string seen = "untouched";
    const int got = createOutputDirectory(directory, &seen);
    if (got != error) return "gave " + std::string(got ? std::strerror(got) : "success");
    if (error && seen != failed) return "named " + seen;
    return "";
}

}  // namespace

TEST(OutputRules, TheOutputFolderIsMadeAtEveryLevel) {
    testing_support::TempDir dir;
    const mode_t old = umask(027);
    testing_support::writeBytes(dir.file("file"), {1});
    fs::create_directory(dir.file("there"));
    const struct {
        std::string directory;
        int error;
        std::string failed;  // the folder of the step that failed
        std::string made;    // a folder that is there afterwards
    } cases[] = {
        {dir.file("a/b/c"), 0, "", dir.file("a/b/c")},
        {dir.file("a/b/d/"), 0, "", dir.file("a/b/d")},
        {dir.file("x//y"), 0, "", dir.file("x/y")},
        {dir.file("there"), 0, "", dir.file("there")},
        {"", 0, "", dir.path().string()},
        {dir.file("file/out/deeper"), ENOTDIR, dir.file("file"), ""},
    };
    testing_support::writeBytes(dir.file("a-file"), {1});
    for (const auto& c : cases) {
        EXPECT_EQ(expectCreate(c.directory, c.error, c.failed), "") << c.directory;
        if (!c.made.empty()) {
            EXPECT_TRUE(fs::is_directory(c.made)) << c.directory;
        }
    }
    EXPECT_EQ(expectCreate(dir.file("a-file"), ENOTDIR, dir.file("a-file")), "");
    EXPECT_FALSE(fs::exists(dir.file("file/out")));
    // Each new level is made as mkdir makes it: 0777 less the umask.
    for (const char* level : {"a", "a/b", "a/b/c", "x"}) {
        struct stat st {};
        ASSERT_EQ(stat(dir.file(level).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode_t(0750)) << level;
    }
    umask(old);
}

TEST(OutputRules, AFolderTheSystemRefusesSaysWhy) {
    testing_support::TempDir dir;
    fs::create_directory(dir.file("closed"));
    fs::create_directory(dir.file("ro"));
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.file("closed").c_str(), 0755), 0);
    // Another user may not make folders in ours (root may anywhere, so the child drops to
    // nobody).
    const std::string denied = inChild([&] {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            return std::string("skip: cannot become nobody");
        return expectCreate(dir.file("closed/a/b"), EACCES, dir.file("closed/a"));
    });
    if (denied.rfind("skip:", 0) != 0) {
        EXPECT_EQ(denied, "");
    }
    // A read-only file system, mounted in a mount namespace of the child's own.
    const std::string readOnly = inChild([&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("vfx", dir.file("ro").c_str(), "tmpfs", MS_RDONLY, nullptr) != 0)
            return std::string("skip: cannot mount a read-only file system");
        return expectCreate(dir.file("ro/out/deeper"), EROFS, dir.file("ro/out"));
    });
    if (readOnly.rfind("skip:", 0) == 0) GTEST_SKIP() << readOnly;
    EXPECT_EQ(readOnly, "");
    EXPECT_TRUE(fs::is_empty(dir.file("ro")));
}

TEST(OutputRules, NamePatternsAndFormats) {
    testing_support::TempDir dir;
    const std::string photo = dir.file("Beach.JPG");
    testing_support::writeBytes(photo, {1, 2, 3});
    const struct {
        OutputFormat format;
        const char* pattern;
        size_t n;
        std::string want;
    } cases[] = {
        {OutputFormat::AsSource, "enh_{name}", 1, "enh_Beach.JPG"},
        {OutputFormat::Png, "enh_{name}", 1, "enh_Beach.png"},
        {OutputFormat::Tiff, "{stem}-{n:4}.{ext}", 7, "Beach-0007.tif"},
        {OutputFormat::Webp, "{n}_{stem}", 12, "12_Beach"},
        {OutputFormat::Jpeg, "{ext}{x}{n:}", 3, "jpg{x}{n:}"},
        {OutputFormat::AsSource, "{stem}", 1, "Beach"},
    };
    for (const auto& c : cases) {
        OutputOptions o;
        o.format = c.format;
        o.namePattern = c.pattern;
        EXPECT_EQ(outputNameFor("/out", photo, o, c.n), "/out/" + c.want) << c.pattern;
    }
    // No EXIF date: the file's own day.
    OutputOptions dated;
    dated.namePattern = "{date}";
    const std::string name = outputNameFor("", photo, dated, 1);
    EXPECT_TRUE(std::regex_match(name, std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]"))) << name;
}
