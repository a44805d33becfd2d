// Running the built vantifex-cli through the shell as a user would, with its exit status and
// everything it printed: shared by the tool's tests and the metadata tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
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

// Runs the tool with args and no input; prefix is shell text put before it (cd, limits, traps).
inline CliRun runTool(const std::vector<std::string>& args, const std::string& prefix = "") {
    testing_support::TempDir capture;
    std::string command = prefix + quote(VFX_CLI_PATH);
    for (const std::string& a : args) command += " " + quote(a);
    command += " </dev/null >" + quote(capture.file("out")) + " 2>" + quote(capture.file("err"));
    const int rc = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    const std::vector<uint8_t> out = testing_support::readBytes(capture.file("out"));
    const std::vector<uint8_t> err = testing_support::readBytes(capture.file("err"));
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

}  // namespace cli_testing
