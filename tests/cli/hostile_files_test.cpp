// Every small corrupt or hostile file of the test data, inspected by vantifex-cli in a process
// of its own: none may cost more than 80 MB at its peak (the tool alone takes about 7).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr long kMaxPeakKb = 80 * 1024;

// Runs `vantifex-cli info path` with its output discarded; the peak resident size in KB.
long peakOfInfo(const std::string& path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string tool = VFX_CLI_PATH, verb = "info", file = path;
    char* argv[] = {tool.data(), verb.data(), file.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
    return usage.ru_maxrss;
}

TEST(HostileFiles, NoSmallFileCostsMoreThan80Megabytes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory says nothing about the decoders' own";
#endif
    int files = 0;
    for (const auto& folder : fs::directory_iterator(testing_support::dataPath(""))) {
        if (!folder.is_directory()) continue;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("bad-", 0) != 0 || fs::file_size(entry.path()) >= 64 * 1024) continue;
            ++files;
            const long peak = peakOfInfo(entry.path().string());
            EXPECT_GT(peak, 0) << name << ": the tool did not run to its end";
            EXPECT_LT(peak, kMaxPeakKb) << name;
        }
    }
    EXPECT_GT(files, 50);
}

}  // namespace
