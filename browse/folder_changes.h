// What the file system reports about the names of a watched folder, turned into the edits a
// thumbnail view applies: photos added, removed, renamed and rewritten, each name once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace folders {

struct FolderEvent {
    enum Kind { Created, Written, Deleted, MovedOut, MovedIn };
    Kind kind;
    std::string name;     // inside the folder
    uint32_t cookie = 0;  // pairs a MovedOut with its MovedIn
};

struct FolderEdit {
    enum Kind { Remove, Rename, Refresh, Add };
    Kind kind;
    std::string name;     // Rename: the old name
    std::string newName;  // Rename only
    friend bool operator==(const FolderEdit&, const FolderEdit&) = default;
};

// The edits that bring a view showing the names shown up to date after events (in the order
// they happened): removals first, then renames, refreshes and additions. A name gone and
// back is refreshed; a file moved out and not back is removed, one moved in from elsewhere
// added; a rename whose content was written too is renamed and refreshed. isPhoto decides
// for names not shown whether they are shown at all (a rename to a name that is no photo
// removes).
std::vector<FolderEdit> folderEdits(const std::vector<std::string>& shown,
                                    const std::vector<FolderEvent>& events,
                                    bool (*isPhoto)(const std::string& name, const void* context),
                                    const void* context);

}  // namespace folders
