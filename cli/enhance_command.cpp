// enhance: batch correction of photos into "enh_" files, the headless twin of the
// application's "save directory", with photos processed in parallel.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "browse/directory_listing.h"
#include "cli/commands.h"
#include "cli/enhance_options.h"
#include "enhance/photo_edit.h"
#include "workflow/batch_saver.h"
#include "workflow/output_rules.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string source;
    std::string outputDirectory;
    bool explicitFile = false;  // named on the command line (not found in a folder)
    bool photo = false;         // passes the batch's photo test
    std::string outputName;     // where it is asked to go
    std::string outputKey;      // the file it really lands in, for spotting collisions
};

Entry makeEntry(std::string source, std::string outputDirectory, bool explicitFile) {
    Entry e;
    e.source = std::move(source);
    e.outputDirectory = std::move(outputDirectory);
    e.explicitFile = explicitFile;
    return e;
}

enum class Outcome { kSkipped, kWritten, kUnreadable, kUnwritten };

// The folder a named file lies in, for its "enhanced" sub-folder.
std::string folderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

// The same file under different spellings ("a/./b", "./a/b") gets one key.
std::string fileKey(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::path(path), ec);
    return ec ? path : canonical.string();
}

class Progress {
  public:
    void line(const char* format, const std::string& a, size_t i = 0, size_t n = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (n)
            std::fprintf(stderr, format, i, n, a.c_str());
        else
            std::fprintf(stderr, format, a.c_str());
    }

  private:
    std::mutex mutex_;
};

Outcome processEntry(const Entry& entry, size_t index, size_t total,
                     const EnhancementSettings& settings, bool stripMetadata, Progress& progress) {
    progress.line("Processing %zu of %zu: %s\n", entry.source, index + 1, total);
    bool loaded = false;
    try {
        PhotoEdit photo;
        if (!loadForSaving(entry.source, photo)) {
            progress.line("Cannot read %s\n", entry.source);
            return Outcome::kUnreadable;
        }
        loaded = true;
        if (stripMetadata) photo.metadata.reset();  // --strip-metadata
        std::string written;
        if (!enhanceAndWrite(photo, settings, entry.outputName, nullptr, false, &written)) {
            progress.line("Cannot write %s\n", written.empty() ? entry.outputName : written);
            return Outcome::kUnwritten;
        }
        return Outcome::kWritten;
    } catch (const std::exception&) {
        // Out of memory on a huge picture and the like: this photo fails, the rest go on.
        progress.line(loaded ? "Cannot write %s\n" : "Cannot read %s\n",
                      loaded ? entry.outputName : entry.source);
        return loaded ? Outcome::kUnwritten : Outcome::kUnreadable;
    }
}

}  // namespace

int runEnhance(const Arguments& args) {
    EnhanceOptions options;
    std::string error;
    if (!parseEnhanceArguments(args, &options, &error)) return usageError(error);
    if (options.help) {
        std::fputs(kEnhanceHelp, stdout);
        return 0;
    }

    // Every input is checked before anything is written.
    std::vector<Entry> entries;
    for (const std::string& input : options.inputs) {
        std::error_code ec;
        const fs::file_status status = fs::status(fs::path(input), ec);
        if (ec || !fs::exists(status)) return usageError("no such file or folder: " + input);
        if (fs::is_directory(status)) {
            if (access(input.c_str(), R_OK | X_OK) != 0)
                return usageError("cannot read the folder " + input);
            DirectoryListing listing;
            listing.open(input);
            std::vector<std::string> files;
            listing.collect(files, "");
            const std::string out =
                options.outputDirectory.empty() ? autosetDirectory(input) : options.outputDirectory;
            for (std::string& file : files)
                entries.push_back(makeEntry(std::move(file), out, false));
        } else {
            const std::string out = options.outputDirectory.empty()
                                        ? autosetDirectory(folderOf(input))
                                        : options.outputDirectory;
            entries.push_back(makeEntry(input, out, true));
        }
    }

    // Photos that land in the same file are done one after the other, in list order, so the
    // last one wins as it would with one job.
    std::vector<std::vector<size_t>> groups;
    std::map<std::string, size_t> groupOfKey;
    std::set<std::string> sourceKeys;
    std::set<std::string> outputFolders;
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        e.photo = isBatchPhotoPath(e.source);
        if (!e.photo) {
            if (e.explicitFile)
                std::fprintf(stderr, "Skipping %s: not a photo name\n", e.source.c_str());
            continue;
        }
        e.outputName = outputNameFor(e.outputDirectory, e.source);
        e.outputKey = fileKey(PhotoEdit::saveTarget(e.outputName, 0, 24).path);
        sourceKeys.insert(fileKey(e.source));
        outputFolders.insert(e.outputDirectory);
        const auto [it, added] = groupOfKey.emplace(e.outputKey, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    // An output that replaces one of the inputs makes the order matter: one job then.
    bool inOrder = false;
    for (const auto& [key, group] : groupOfKey)
        if (sourceKeys.count(key)) inOrder = true;

    for (const std::string& folder : outputFolders) {
        std::error_code ec;
        if (!folder.empty()) fs::create_directories(fs::path(folder), ec);
        if (ec) std::fprintf(stderr, "Cannot create the folder %s\n", folder.c_str());
    }

    size_t jobs = options.jobs > 0 ? size_t(options.jobs)
                                   : std::max<size_t>(1, std::thread::hardware_concurrency());
    if (inOrder) jobs = 1;
    jobs = std::min(jobs, std::max<size_t>(groups.size(), 1));

    std::vector<Outcome> outcomes(entries.size(), Outcome::kSkipped);
    Progress progress;
    std::atomic<size_t> nextGroup{0};
    const auto worker = [&]() {
        for (size_t g = nextGroup++; g < groups.size(); g = nextGroup++)
            for (size_t i : groups[g])
                outcomes[i] = processEntry(entries[i], i, entries.size(), options.settings,
                                           options.stripMetadata, progress);
    };
    if (jobs <= 1) {
        worker();
    } else {
        std::vector<std::thread> threads;
        for (size_t t = 0; t < jobs; ++t) threads.emplace_back(worker);
        for (std::thread& t : threads) t.join();
    }

    int processed = 0, unreadable = 0, unwritten = 0;
    for (Outcome o : outcomes) {
        if (o == Outcome::kWritten || o == Outcome::kUnwritten) ++processed;
        if (o == Outcome::kUnreadable) ++unreadable;
        if (o == Outcome::kUnwritten) ++unwritten;
    }
    std::printf("%s\n", finishedMessage(processed, unreadable, unwritten).c_str());
    return unreadable || unwritten ? 1 : 0;
}
