// The one check of a run's output names, made before anything is written, shared by the
// window's batches and vantifex-cli: no two photos of a run write one file, and none writes
// over a source of the run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PlannedOutput {
    std::string source;
    std::string target;  // the file saving will write (PhotoEdit::saveTarget of the name)
    // "save..." may replace its own source; a named rule ("enh_", patterns) may not.
    bool mayReplaceSource = false;
};

// "" when every target is a file of its own and none is a source of the run; else why the
// run is refused, naming both files:
//   "cannot write A and B both to T"
//   "cannot write A over itself"
//   "cannot write A to T: it is also a source of this run"
// Files are compared by identity when they exist (links and hard links are one file), by
// their cleaned-up path otherwise. The first problem in list order is the one told.
std::string outputClash(const std::vector<PlannedOutput>& plan);
