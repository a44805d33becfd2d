// Reading the names of --files-from: one per line or NUL-separated, as find -print and
// find -print0 write them (header-only so the tests can check it).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Appends every name of file to names: split at '\n' (a '\r' before it is dropped, for lists
// written on Windows) or, with nul, at '\0'. Empty names are left out. False on a read error.
inline bool readFileList(FILE* file, bool nul, std::vector<std::string>* names) {
    const int end = nul ? '\0' : '\n';
    std::string name;
    const auto finish = [&] {
        if (!nul && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) names->push_back(name);
        name.clear();
    };
    for (int c; (c = std::getc(file)) != EOF;) {
        if (c == end)
            finish();
        else
            name += char(c);
    }
    finish();
    return !std::ferror(file);
}
