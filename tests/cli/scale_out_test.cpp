// The recipes of docs/scale-out.md run on this machine: GNU parallel with "-S :" and three
// job slots, and the Slurm array's shares taken by split, each against one plain run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using cli_testing::quote;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;

namespace {

// 24 small photos in dir/in, of two formats and several sizes.
void makePhotos(const fs::path& in) {
    fs::create_directories(in);
    for (int i = 0; i < 24; ++i) {
        const bool jpeg = i % 3 == 0;
        const fs::path p =
            in / ((i < 10 ? "p0" : "p") + std::to_string(i) + (jpeg ? ".jpg" : ".png"));
        ASSERT_TRUE(randomImage(20 + i, 14 + i % 5, 24, uint32_t(i + 1))
                        .saveToFile(p.c_str(), jpeg ? JPEG : PNG));
    }
}

std::map<std::string, std::vector<uint8_t>> contents(const fs::path& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename()] = readBytes(e.path());
    return files;
}

// Each output's inode and modification time: a file written again changes one of them.
std::map<std::string, std::pair<ino_t, long long>> stamps(const fs::path& dir) {
    std::map<std::string, std::pair<ino_t, long long>> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        struct stat st {};
        EXPECT_EQ(stat(e.path().c_str(), &st), 0);
        out[e.path().filename()] = {st.st_ino,
                                    st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return out;
}

// Runs a shell line in dir; its exit status, stdout in *out.
int shell(const fs::path& dir, const std::string& line, std::string* out) {
    const std::string capture = (dir / "shell.out").string();
    const std::string command = "cd " + quote(dir.string()) + " && HOME=" + quote(dir.string()) +
                                " CLI=" + quote(VFX_CLI_PATH) + " sh -c " + quote(line) + " >" +
                                quote(capture) + " 2>/dev/null";
    const int rc = std::system(command.c_str());
    const auto bytes = readBytes(capture);
    out->assign(bytes.begin(), bytes.end());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Adds up the "Finished processing N images." and "N skipped" lines of several summaries.
std::pair<int, int> processedAndSkipped(const std::string& summaries) {
    int processed = 0, skipped = 0;
    const std::regex finished("Finished processing ([0-9]+) images\\.");
    const std::regex skip("([0-9]+) skipped: already written\\.");
    for (auto it = std::sregex_iterator(summaries.begin(), summaries.end(), finished);
         it != std::sregex_iterator(); ++it)
        processed += std::stoi((*it)[1]);
    for (auto it = std::sregex_iterator(summaries.begin(), summaries.end(), skip);
         it != std::sregex_iterator(); ++it)
        skipped += std::stoi((*it)[1]);
    return {processed, skipped};
}

}  // namespace

TEST(ScaleOut, RecipesMatchOnePlainRunAndSkipWhatIsDone) {
    TempDir dir;
    makePhotos(dir.path() / "in");
    const std::string settings = " --sharpen 1 --contrast 10 --quality 85 --resize 30 ";
    std::string out;
    ASSERT_EQ(shell(dir.path(), "\"$CLI\" enhance" + settings + "--threads 2 in -o plain", &out),
              0);
    ASSERT_EQ(processedAndSkipped(out), std::make_pair(24, 0)) << out;
    const auto plain = contents(dir.path() / "plain");
    ASSERT_EQ(plain.size(), 24u);

    const struct {
        const char* what;
        std::string line;
        int jobs;  // processes the recipe runs
    } recipes[] = {
        {"GNU parallel",
         "find in -type f -print0 | parallel -0 -S : -j 3 -m --will-cite \"$CLI\" enhance" +
             settings + "--threads 1 --skip-existing -o out",
         3},
        {"Slurm array shares",
         "find in -type f -print0 > photos.list; for i in 0 1 2 3; do split -t '\\0' -n "
         "r/$((i + 1))/4 photos.list | \"$CLI\" enhance --files-from - -0" +
             settings + "--threads 1 --skip-existing -o out || exit 1; done",
         4},
    };
    for (const auto& r : recipes) {
        SCOPED_TRACE(r.what);
        fs::remove_all(dir.path() / "out");
        ASSERT_EQ(shell(dir.path(), r.line, &out), 0) << out;
        EXPECT_EQ(processedAndSkipped(out), std::make_pair(24, 0)) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), 'F'), r.jobs) << out;  // one summary each
        EXPECT_EQ(contents(dir.path() / "out"), plain);
        // Again: every photo is skipped and no output is written a second time.
        const auto before = stamps(dir.path() / "out");
        ASSERT_EQ(shell(dir.path(), r.line, &out), 0) << out;
        EXPECT_EQ(processedAndSkipped(out), std::make_pair(0, 24)) << out;
        EXPECT_EQ(stamps(dir.path() / "out"), before);
        // One output lost on the way: only that one is done again.
        fs::remove(dir.path() / "out" / "enh_p07.png");
        ASSERT_EQ(shell(dir.path(), r.line, &out), 0) << out;
        EXPECT_EQ(processedAndSkipped(out), std::make_pair(1, 23)) << out;
        EXPECT_EQ(contents(dir.path() / "out"), plain);
    }
}
