// The batch job: what it does with each kind of source (formats by content, output formats
// by name), its callbacks (on the running thread, in list order), stopping after the photos
// in hand, the same bytes for any number of jobs, and the summary of failures.
#include "workflow/batch_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include "formats/format_detect.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

std::string saveAs(const std::string& path, DibImage image, uint32_t type) {
    EXPECT_TRUE(image.saveToFile(path.c_str(), type)) << path;
    return path;
}

// count photos of w x h (PNG) in dir, named p00.png ...
std::vector<std::string> photos(const TempDir& dir, int count, int w = 40, int h = 30) {
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d.png", i);
        list.push_back(saveAs(dir.file(name), randomImage(w + i, h, 24, uint32_t(i + 1)), PNG));
    }
    return list;
}

}  // namespace

TEST(BatchJob, EachSourceIsReadByContentAndWrittenAsItsOutputNameSays) {
    TempDir dir;
    const struct Case {
        const char* name;
        int make;  // an ImageFileType to save a picture as, or -1 for the bytes below
        std::vector<uint8_t> bytes;
        PhotoOutcome outcome;
        const char* written;  // under out/, "" for none
        int writtenFormat;
    } cases[] = {
        {"a.png", PNG, {}, PhotoOutcome::kWritten, "enh_a.png", PNG},
        {"b.JPG", PNG, {}, PhotoOutcome::kWritten, "enh_b.jpg", JPEG},  // a PNG named .jpg
        {"c.tif", TIFF, {}, PhotoOutcome::kWritten, "enh_c.tif", TIFF},
        {"d.TGA", TGA, {}, PhotoOutcome::kWritten, "enh_d.tga", TGA},
        {"e.dib", BMP, {}, PhotoOutcome::kWritten, "enh_e.dib", BMP},
        {"f.gif", GIF, {}, PhotoOutcome::kWritten, "enh_f.jpg", JPEG},  // full colour
        {"g.pcx", -1, readBytes(testing_support::dataPath("pcx/im-24.pcx")), PhotoOutcome::kWritten,
         "enh_g.png", PNG},
        {"h.ico", -1, readBytes(testing_support::dataPath("ico/pil-24.ico")),
         PhotoOutcome::kWritten, "enh_h.png", PNG},
        {"i.jpeg", JPEG, {}, PhotoOutcome::kWritten, "enh_i.jpeg", JPEG},
        {"photo", PNG, {}, PhotoOutcome::kWritten, "enh_photo", JPEG},  // no name: JPEG
        {"notes.txt", -1, {'h', 'i', '\n'}, PhotoOutcome::kNotAPhoto, "", 0},
        {"notes.jpg.txt", -1, {'h', 'i', '\n'}, PhotoOutcome::kNotAPhoto, "", 0},
        {"junk.png", -1, {1, 2, 3}, PhotoOutcome::kUnreadable, "", 0},
        {"gone.jpg", -2, {}, PhotoOutcome::kUnreadable, "", 0},
    };
    std::vector<std::string> sources;
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.make >= 0)
            saveAs(path, randomImage(16, 12, c.make == GIF ? 8 : 24, 7), uint32_t(c.make));
        else if (c.make == -1)
            writeBytes(path, c.bytes);
        sources.push_back(path);
    }
    std::map<std::string, std::vector<uint8_t>> first;
    for (int jobs : {1, 3}) {
        const std::string out = dir.file("out" + std::to_string(jobs));
        fs::create_directory(out);
        EnhancementSettings settings;
        settings.contrast = 10;
        settings.redOffset = 2;
        BatchJob job(sources, settings, OutputRule::enhancedInto(out), jobs);
        const std::vector<PhotoResult> results = job.run();
        ASSERT_EQ(results.size(), std::size(cases));
        for (size_t i = 0; i < results.size(); ++i) {
            const Case& c = cases[i];
            const PhotoResult& r = results[i];
            SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(jobs) + " jobs");
            EXPECT_EQ(r.outcome, c.outcome);
            EXPECT_EQ(r.source, sources[i]);
            if (*c.written) {
                const std::string path = out + "/" + c.written;
                EXPECT_EQ(r.written, path);
                EXPECT_EQ(formats::contentFormatOfFile(path), c.writtenFormat);
                EXPECT_TRUE(r.reason.empty());
                const auto bytes = readBytes(path);
                if (first.count(c.name))
                    EXPECT_EQ(bytes, first[c.name]);  // the same bytes for any job count
                else
                    first[c.name] = bytes;
            }
            if (c.outcome == PhotoOutcome::kUnreadable) {
                EXPECT_FALSE(r.reason.empty());
            }
        }
        EXPECT_NE(results[13].reason.find("No such file or directory"), std::string::npos)
            << results[13].reason;
        size_t files = 0;
        for (const auto& e : fs::directory_iterator(out)) files += e.is_regular_file();
        EXPECT_EQ(files, 10u);
    }
}

TEST(BatchJob, AnOutputThatCannotBeWrittenSaysWhy) {
    TempDir dir;
    const std::string photo = saveAs(dir.file("p.png"), randomImage(8, 8, 24, 1), PNG);
    writeBytes(dir.file("plain-file"), {1});
    const struct {
        OutputRule rule;
        std::string target;
    } cases[] = {
        {OutputRule::enhancedInto(dir.file("plain-file")), dir.file("plain-file/enh_p.png")},
        {OutputRule::exactly(dir.file("missing/Chosen.PNG")), dir.file("missing/chosen.png")},
    };
    for (const auto& c : cases) {
        const auto results = BatchJob({photo}, EnhancementSettings{}, c.rule).run();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].outcome, PhotoOutcome::kUnwritable);
        EXPECT_EQ(results[0].written, c.target);
        EXPECT_FALSE(results[0].reason.empty());
    }
}

TEST(BatchJob, CallbacksComeOnTheRunningThreadInListOrder) {
    TempDir dir;
    std::vector<std::string> list = photos(dir, 6);
    writeBytes(dir.file("readme.txt"), {'x'});
    list.insert(list.begin() + 2, dir.file("readme.txt"));
    for (int jobs : {1, 4}) {
        const fs::path out = dir.path() / ("out" + std::to_string(jobs));
        fs::create_directory(out);
        EnhancementSettings settings;
        settings.sharpen = 1;
        BatchJob job(list, settings, OutputRule::enhancedInto(out.string()), jobs);
        const std::thread::id self = std::this_thread::get_id();
        std::vector<size_t> started, finished;
        std::map<size_t, std::vector<std::string>> statuses;
        bool elsewhere = false;
        job.onProgress([&](size_t i, size_t n, const std::string& path) {
            elsewhere |= std::this_thread::get_id() != self;
            EXPECT_EQ(n, 7u);
            EXPECT_EQ(path, list[i - 1]);
            started.push_back(i);
        });
        job.onStatus([&](size_t i, const std::string& text) {
            elsewhere |= std::this_thread::get_id() != self;
            statuses[i].push_back(text);
        });
        job.onFinished([&](size_t i, const PhotoResult& r) {
            elsewhere |= std::this_thread::get_id() != self;
            EXPECT_EQ(r.outcome, PhotoOutcome::kWritten);
            finished.push_back(i);
        });
        job.run();
        EXPECT_FALSE(elsewhere) << jobs;
        EXPECT_EQ(started, (std::vector<size_t>{1, 2, 4, 5, 6, 7})) << jobs;
        std::sort(finished.begin(), finished.end());
        EXPECT_EQ(finished, started) << jobs;
        for (size_t i : started)
            EXPECT_EQ(statuses[i], (std::vector<std::string>{"Sharpening...", "", "Saving..."}))
                << i;
    }
}

TEST(BatchJob, AStopLetsThePhotosInHandFinishAndStartsNoOther) {
    TempDir dir;
    const std::vector<std::string> list = photos(dir, 16, 300, 200);
    const struct {
        int jobs;
        bool fromAnotherThread;
    } cases[] = {{1, false}, {3, false}, {2, true}};
    int round = 0;
    for (const auto& c : cases) {
        const fs::path out = dir.path() / ("out" + std::to_string(round++));
        fs::create_directory(out);
        EnhancementSettings settings;
        settings.sharpen = 2;
        BatchJob job(list, settings, OutputRule::enhancedInto(out.string()), c.jobs);
        std::atomic<bool> flag{false};
        std::thread stopper;
        size_t progressCalls = 0;
        job.watchStopFlag(&flag);
        job.onProgress([&](size_t i, size_t, const std::string&) {
            ++progressCalls;
            if (i != 2) return;
            if (c.fromAnotherThread)
                stopper = std::thread([&] { flag = true; });
            else
                job.stop();
        });
        const auto results = job.run();
        if (stopper.joinable()) stopper.join();
        EXPECT_TRUE(job.stopRequested());
        size_t written = 0, notStarted = 0;
        for (const PhotoResult& r : results) {
            const fs::path file = out / ("enh_" + fs::path(r.source).filename().string());
            if (r.outcome == PhotoOutcome::kWritten) {
                ++written;
                DibImage back;  // complete and loadable
                EXPECT_TRUE(back.loadFromFile(file.c_str(), PNG)) << file;
            } else {
                EXPECT_EQ(r.outcome, PhotoOutcome::kNotStarted);
                EXPECT_FALSE(fs::exists(file)) << file;
                ++notStarted;
            }
        }
        EXPECT_EQ(written, progressCalls) << c.jobs;
        if (c.jobs == 1 && !c.fromAnotherThread) {
            EXPECT_EQ(written, 2u);
        }
        EXPECT_GT(notStarted, 0u) << c.jobs;
        EXPECT_EQ(countResults(results).notStarted, int(notStarted));
    }
    // Stopped before it runs: nothing starts.
    BatchJob early(list, EnhancementSettings{}, OutputRule::enhancedInto(dir.file("none")), 2);
    early.stop();
    for (const PhotoResult& r : early.run()) EXPECT_EQ(r.outcome, PhotoOutcome::kNotStarted);
    EXPECT_FALSE(fs::exists(dir.file("none")));
}

TEST(BatchJob, SummaryCountsAndNamesEachFailure) {
    const auto result = [](PhotoOutcome o, const char* source, const char* reason = "") {
        PhotoResult r;
        r.outcome = o;
        r.source = source;
        r.reason = reason;
        return r;
    };
    const struct {
        std::vector<PhotoResult> results;
        const char* summary;
    } cases[] = {
        {{}, "Finished processing 0 images."},
        {{result(PhotoOutcome::kWritten, "/p/a.png"), result(PhotoOutcome::kNotAPhoto, "/p/b")},
         "Finished processing 1 images."},
        {{result(PhotoOutcome::kUnreadable, "/p/bad.png", "Not a PNG file"),
          result(PhotoOutcome::kWritten, "/p/a.png"),
          result(PhotoOutcome::kUnwritable, "/p/c.jpg",
                 "cannot open /o/enh_c.jpg: Read-only "
                 "file system")},
         "Finished processing 2 images.\n1 could not be read.\n1 could not be written.\n"
         "bad.png: Not a PNG file\nc.jpg: cannot open /o/enh_c.jpg: Read-only file system"},
        {{result(PhotoOutcome::kWritten, "/p/a.png"), result(PhotoOutcome::kNotStarted, "/p/b.png"),
          result(PhotoOutcome::kNotStarted, "/p/c.png")},
         "Finished processing 1 images.\nStopped: 2 not started."},
    };
    for (const auto& c : cases) EXPECT_EQ(batchSummary(c.results), c.summary);
}
