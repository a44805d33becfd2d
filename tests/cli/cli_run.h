// Running the built vantifex-cli through the shell as a user would, with its exit status and
// everything it printed: shared by the tool's tests and the metadata tests.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace cli_testing {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Quoted for the shell, whatever the text holds.
inline std::string quote(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the tool with args and standard input read from input (none by default); prefix is
// shell text put before it (cd, limits, traps).
inline CliRun runTool(const std::vector<std::string>& args, const std::string& prefix = "",
                      const std::string& input = "/dev/null") {
    testing_support::TempDir capture;
    std::string command = prefix + quote(VFX_CLI_PATH);
    for (const std::string& a : args) command += " " + quote(a);
    command += " <" + quote(input) + " >" + quote(capture.file("out")) + " 2>" +
               quote(capture.file("err"));
    const int rc = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    const std::vector<uint8_t> out = testing_support::readBytes(capture.file("out"));
    const std::vector<uint8_t> err = testing_support::readBytes(capture.file("err"));
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

// "vantifex-cli enhance" with args, as runTool runs it.
inline CliRun runEnhance(std::vector<std::string> args, const std::string& prefix = "",
                         const std::string& input = "/dev/null") {
    args.insert(args.begin(), "enhance");
    return runTool(args, prefix, input);
}

// The names of the files in dir, sorted; none when it does not exist.
inline std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A whole file as text.
inline std::string slurp(const std::filesystem::path& p) {
    const std::vector<uint8_t> bytes = testing_support::readBytes(p.string());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace cli_testing
