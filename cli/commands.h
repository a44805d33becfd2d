// The sub-commands of vantifex-cli. Each takes the arguments after its name and returns the
// process exit status: 0 success, 1 a file could not be read or written, 2 bad arguments.
#pragma once

#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

int runInfo(const Arguments& args);
int runConvert(const Arguments& args);
int runDump(const Arguments& args);
int runEnhance(const Arguments& args);
int runThumbnails(const Arguments& args);

// Prints "usage: ..." with the given text to stderr and returns 2.
int usageError(const std::string& message);
