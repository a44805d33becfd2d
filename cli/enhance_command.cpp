// enhance: batch correction of photos into "enh_" files, the headless twin of the
// application's "save directory", with photos processed in parallel by the batch job.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "browse/directory_listing.h"
#include "cli/commands.h"
#include "cli/enhance_options.h"
#include "cli/file_list.h"
#include "workflow/batch_job.h"
#include "workflow/output_rules.h"
#include "workflow/photo_crop.h"
#include "workflow/photo_saving.h"
#include "workflow/preset_file.h"
#include "workflow/region_render.h"

namespace fs = std::filesystem;

namespace {

// Set by SIGINT and SIGTERM; the handler does nothing else, so it is async-signal-safe.
std::atomic<bool> gStopRequested{false};
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    int none = 0;
    gStopSignal.compare_exchange_strong(none, signal);
    gStopRequested.store(true);
}

// A signal the shell has us ignore (a background job's SIGINT) stays ignored.
void stopOnSignal(int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

// The folder a named file lies in, for its "enhanced" sub-folder.
std::string folderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

}  // namespace

int runEnhance(const Arguments& args) {
    EnhanceOptions options;
    std::string error;
    if (!parseEnhanceArguments(args, &options, &error)) {
        if (!options.presetRefused) return usageError(error);
        std::fprintf(stderr, "vantifex-cli: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kEnhanceHelp, stdout);
        return 0;
    }
    if (!options.savePreset.empty()) {
        if (writePresetFile(options.savePreset, options.settings, &error)) return 0;
        std::fprintf(stderr, "vantifex-cli: %s\n", error.c_str());
        return 2;
    }

    if (!options.filesFrom.empty()) {
        const bool standardInput = options.filesFrom == "-";
        FILE* list = standardInput ? stdin : std::fopen(options.filesFrom.c_str(), "rb");
        if (!list)
            return usageError("cannot read " + options.filesFrom + ": " + std::strerror(errno));
        const bool read = readFileList(list, options.nulSeparated, &options.inputs);
        const int error = errno;
        if (!standardInput) std::fclose(list);
        if (!read)
            return usageError("cannot read " + options.filesFrom + ": " + std::strerror(error));
        if (options.inputs.empty()) return usageError("no INPUT in " + options.filesFrom);
    }

    // Every input is checked before anything is written.
    std::vector<BatchSource> sources;
    std::vector<bool> named;  // given on the command line, not found in a folder
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
            for (std::string& file : files) {
                sources.push_back(BatchSource{std::move(file), OutputRule::enhancedInto(out)});
                named.push_back(false);
            }
        } else {
            const std::string out = options.outputDirectory.empty()
                                        ? autosetDirectory(folderOf(input))
                                        : options.outputDirectory;
            sources.push_back(BatchSource{input, OutputRule::enhancedInto(out)});
            named.push_back(true);
        }
    }

    // A crop is checked against every photo before anything is written. Files that do not
    // read are left to the run, which reports them.
    if (!options.crop.isEmpty()) {
        for (BatchSource& source : sources) {
            source.crop = options.crop;
            // The smallest decode that still tells the full size.
            PhotoEdit photo;
            photo.loadForPreview(source.path, 1, 1);
            if (photo.width() <= 0) continue;
            int32_t width = 0, height = 0;
            fullUprightSize(source.path, photo, width, height);
            if (options.settings.rotation % 2 != 0) std::swap(width, height);
            if (!options.crop.fitsIn(width, height)) {
                std::fprintf(stderr, "vantifex-cli: --crop %s lies outside %s (%d x %d)\n",
                             cropText(options.crop).c_str(), source.path.c_str(), int(width),
                             int(height));
                return 2;
            }
        }
    }

    // A region must lie inside every result before anything is written; a file that cannot
    // be read is left to the run, which reports it.
    if (options.region) {
        for (const BatchSource& source : sources) {
            if (!isBatchPhoto(source.path)) continue;
            // The smallest decode that still tells the full size, as for the crop.
            PhotoEdit photo;
            photo.loadForPreview(source.path, 1, 1);
            if (photo.width() <= 0) continue;
            int32_t width = 0, height = 0;
            fullUprightSize(source.path, photo, width, height);
            const CropRect whole = source.crop.isEmpty()
                                       ? wholeResult(width, height, options.settings)
                                       : CropRect{0, 0, source.crop.width, source.crop.height};
            if (options.region->fitsIn(whole.width, whole.height)) continue;
            std::fprintf(
                stderr, "vantifex-cli: %s\n",
                regionOutsideText(*options.region, whole.width, whole.height, source.path).c_str());
            return 2;
        }
    }

    BatchJob job(sources, options.settings, options.jobs);
    // Names that clash are a mistake of the command line: nothing is written.
    if (!job.refusal().empty()) {
        std::fprintf(stderr, "vantifex-cli: %s\n", job.refusal().c_str());
        return 2;
    }

    // From here on Ctrl-C finishes the photos in hand and reports.
    stopOnSignal(SIGINT);
    stopOnSignal(SIGTERM);
    job.watchStopFlag(&gStopRequested);
    job.setStripMetadata(options.stripMetadata);
    job.setSkipExisting(options.skipExisting);
    // Every missing level of the output folders; a folder that cannot be made fails its
    // photos with the system's reason.
    job.setCreateOutputFolders(true);
    if (options.region) job.setRegion(*options.region);
    job.onProgress([](size_t i, size_t n, const std::string& path) {
        std::fprintf(stderr, "Processing %zu of %zu: %s\n", i, n, path.c_str());
    });
    job.onFinished([](size_t, const PhotoResult& r) {
        if (r.outcome == PhotoOutcome::kUnreadable)
            std::fprintf(stderr, "Cannot read %s: %s\n", r.source.c_str(), r.reason.c_str());
        if (r.outcome == PhotoOutcome::kUnwritable)
            std::fprintf(stderr, "Cannot write %s: %s\n", r.written.c_str(), r.reason.c_str());
    });
    const std::vector<PhotoResult> results = job.run();

    for (size_t i = 0; i < results.size() && i < named.size(); ++i)
        if (named[i] && results[i].outcome == PhotoOutcome::kNotAPhoto)
            std::fprintf(stderr, "Skipping %s: not a photo\n", results[i].source.c_str());
    std::printf("%s\n", batchSummary(results).c_str());
    std::fflush(stdout);
    if (const int signal = gStopSignal.load()) return 128 + signal;
    const BatchCounts counts = countResults(results);
    return counts.unreadable || counts.unwritten ? 1 : 0;
}
