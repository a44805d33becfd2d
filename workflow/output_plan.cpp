// The clash check of a run's outputs: names for files still to come, identities for files
// that are already there.
#include "workflow/output_plan.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <utility>

namespace {

using FileId = std::pair<dev_t, ino_t>;

// The same file under different spellings ("a/./b", "./a/b") gets one key.
std::string fileKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// The file at path, followed through links; false when there is none.
bool fileIdentity(const std::string& path, FileId* id) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

}  // namespace

std::string outputClash(const std::vector<PlannedOutput>& plan) {
    // Every source by identity and by name, so a target can be matched either way.
    std::map<FileId, size_t> sourceById;
    std::map<std::string, size_t> sourceByKey;
    for (size_t i = 0; i < plan.size(); ++i) {
        FileId id;
        if (fileIdentity(plan[i].source, &id)) sourceById.emplace(id, i);
        sourceByKey.emplace(fileKey(plan[i].source), i);
    }
    std::map<std::string, size_t> writerOf;
    for (size_t i = 0; i < plan.size(); ++i) {
        const PlannedOutput& p = plan[i];
        const std::string key = fileKey(p.target);
        size_t owner = plan.size();
        FileId id;
        if (fileIdentity(p.target, &id)) {
            const auto it = sourceById.find(id);
            if (it != sourceById.end()) owner = it->second;
        }
        if (owner == plan.size()) {
            const auto it = sourceByKey.find(key);
            if (it != sourceByKey.end()) owner = it->second;
        }
        if (owner != plan.size()) {
            // The source's own file under another name (a link, "./") is still itself.
            FileId own;
            const bool itself =
                plan[owner].source == p.source ||
                (fileIdentity(p.source, &own) && fileIdentity(p.target, &id) && own == id) ||
                fileKey(plan[owner].source) == fileKey(p.source);
            if (!itself)
                return "cannot write " + p.source + " to " + p.target +
                       ": it is also a source of this run";
            if (!p.mayReplaceSource) return "cannot write " + p.source + " over itself";
        }
        const auto [it, added] = writerOf.emplace(key, i);
        if (!added)
            return "cannot write " + plan[it->second].source + " and " + p.source + " both to " +
                   p.target;
    }
    return "";
}
