// The non-recursive listing of one folder, in the order the file system enumerates it: the
// names of its files, its sub-folders (not scanned) and the total size of the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DirectoryListing {
  public:
    DirectoryListing() = default;
    DirectoryListing(std::string path, std::string name);

    // Lists the folder at path, unless it is the one already listed. A trailing separator is
    // dropped (the root "/" stays) and white space around the path is trimmed.
    void open(const std::string& path);
    // Lists the folder again; a folder that cannot be read lists as empty.
    void scan();
    // Appends the full paths of the files whose lower-cased names contain one of the
    // lower-cased tokens of filter (split at commas and line breaks); every file without one.
    void collect(std::vector<std::string>& out, const std::string& filter) const;

    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }
    const std::vector<std::string>& fileNames() const { return fileNames_; }
    const std::vector<DirectoryListing>& subDirectories() const { return subDirectories_; }
    uint64_t totalSize() const { return totalSize_; }

  private:
    std::string path_;
    std::string name_;
    std::vector<std::string> fileNames_;
    std::vector<DirectoryListing> subDirectories_;
    uint64_t totalSize_ = 0;
};
