// Folder events to view edits: the events are played over a map from each present name to
// the shown name whose content it holds, so only the end state of every name counts.
#include "browse/folder_changes.h"

#include <map>
#include <set>

namespace folders {

namespace {

struct Content {
    std::string origin;  // the shown name whose file this is; empty for new content
    bool written = false;
};

}  // namespace

std::vector<FolderEdit> folderEdits(const std::vector<std::string>& shown,
                                    const std::vector<FolderEvent>& events,
                                    bool (*isPhoto)(const std::string&, const void*),
                                    const void* context) {
    std::map<std::string, Content> present;
    for (const std::string& name : shown) present[name] = Content{name, false};
    std::map<uint32_t, Content> moving;
    for (const FolderEvent& e : events) {
        switch (e.kind) {
            case FolderEvent::Created:
                present[e.name] = Content{"", true};
                break;
            case FolderEvent::Written: {
                auto it = present.find(e.name);
                if (it == present.end())
                    present[e.name] = Content{"", true};
                else
                    it->second.written = true;
                break;
            }
            case FolderEvent::Deleted:
                present.erase(e.name);
                break;
            case FolderEvent::MovedOut: {
                auto it = present.find(e.name);
                moving[e.cookie] = it != present.end() ? it->second : Content{"", true};
                if (it != present.end()) present.erase(it);
                break;
            }
            case FolderEvent::MovedIn: {
                auto it = moving.find(e.cookie);
                if (it == moving.end()) {
                    present[e.name] = Content{"", true};  // from another folder
                } else {
                    present[e.name] = it->second;
                    moving.erase(it);
                }
                break;
            }
        }
    }

    const std::set<std::string> wasShown(shown.begin(), shown.end());
    std::set<std::string> origins;    // shown names whose file is still here
    std::set<std::string> keepsCell;  // shown names whose cell lives on
    std::vector<FolderEdit> renames, refreshes, adds;
    for (const auto& [name, content] : present)
        if (!content.origin.empty()) origins.insert(content.origin);
    for (const auto& [name, content] : present) {
        if (content.origin == name) {
            keepsCell.insert(name);
            if (content.written) refreshes.push_back({FolderEdit::Refresh, name, ""});
        } else if (!content.origin.empty()) {
            if (!isPhoto(name, context)) continue;  // renamed to no photo: removed
            keepsCell.insert(content.origin);
            renames.push_back({FolderEdit::Rename, content.origin, name});
            if (content.written) refreshes.push_back({FolderEdit::Refresh, name, ""});
        } else if (wasShown.count(name) && !origins.count(name)) {
            // New content under a shown name (written elsewhere and moved over it).
            keepsCell.insert(name);
            refreshes.push_back({FolderEdit::Refresh, name, ""});
        } else if (isPhoto(name, context)) {
            adds.push_back({FolderEdit::Add, name, ""});
        }
    }
    std::vector<FolderEdit> edits;
    for (const std::string& name : shown)
        if (!keepsCell.count(name)) edits.push_back({FolderEdit::Remove, name, ""});
    edits.insert(edits.end(), renames.begin(), renames.end());
    edits.insert(edits.end(), refreshes.begin(), refreshes.end());
    edits.insert(edits.end(), adds.begin(), adds.end());
    return edits;
}

}  // namespace folders
