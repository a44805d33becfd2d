// The batch job: what it does with each kind of source (formats by content, output formats
// by name), its callbacks (on the running thread, in list order), stopping after the photos
// in hand, the same bytes for any number of jobs, and the summary of failures.
#include "workflow/batch_job.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// Each row a run whose names clash: it writes nothing at all, every photo it takes fails
// with one message naming both files, and refusal() says it before the run.
TEST(BatchJob, ARunWhoseOutputsClashWritesNothing) {
    struct Row {
        const char* what;
        std::vector<std::string> files;  // made in the folder (".lnk" names: links)
        std::vector<std::string> list;   // the run's sources, in the folder
        OutputOptions output;
        std::string message;  // with {D} for the folder
    };
    OutputOptions stemOnly;
    stemOnly.namePattern = "{stem}.png";
    OutputOptions asJpeg;
    asJpeg.format = OutputFormat::Jpeg;
    OutputOptions fixedName;
    fixedName.namePattern = "same.png";
    const Row rows[] = {
        {"the default pattern, two formats of one name",
         {"IMG_1.heic", "IMG_1.JPG"},
         {"IMG_1.heic", "IMG_1.JPG"},
         {},
         "cannot write {D}/IMG_1.heic and {D}/IMG_1.JPG both to {D}/enh_img_1.jpg"},
        {"one format for all",
         {"a.png", "a.bmp"},
         {"a.png", "a.bmp"},
         asJpeg,
         "cannot write {D}/a.png and {D}/a.bmp both to {D}/enh_a.jpg"},
        {"a fixed name",
         {"x.png", "y.png", "z.png"},
         {"x.png", "y.png", "z.png"},
         fixedName,
         "cannot write {D}/x.png and {D}/y.png both to {D}/same.png"},
        {"a pattern giving the source's own name",
         {"b.png"},
         {"b.png"},
         stemOnly,
         "cannot write {D}/b.png over itself"},
        {"an earlier result in the run",
         {"p01.png", "enh_p01.png"},
         {"p01.png", "enh_p01.png"},
         {},
         "cannot write {D}/p01.png to {D}/enh_p01.png: it is also a source of this run"},
        {"another source through a link",
         {"q.png", "r.png", "enh_r.png.lnk"},
         {"q.png", "r.png"},
         {},
         "cannot write {D}/r.png to {D}/enh_r.png: it is also a source of this run"},
        {"another source through a \"./\" spelling",
         {"s.png", "enh_s.png"},
         {"s.png", "./enh_s.png"},
         {},
         "cannot write {D}/s.png to {D}/enh_s.png: it is also a source of this run"},
    };
    for (const Row& row : rows) {
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(std::string(row.what) + ", jobs " + std::to_string(jobs));
            TempDir dir;
            uint32_t seed = 1;
            for (const std::string& f : row.files) {
                const bool link = f.size() > 4 && f.compare(f.size() - 4, 4, ".lnk") == 0;
                if (link)
                    fs::create_symlink(dir.file("q.png"), dir.file(f.substr(0, f.size() - 4)));
                else
                    saveAs(dir.file(f), randomImage(9, 7, 24, seed++), PNG);
            }
            std::map<std::string, std::vector<uint8_t>> before;
            for (const auto& e : fs::directory_iterator(dir.path()))
                if (!fs::is_symlink(e.path())) before[e.path().string()] = readBytes(e.path());
            std::vector<std::string> list;
            for (const std::string& f : row.list)
                list.push_back(f.rfind("./", 0) == 0 ? dir.path().string() + "/./" + f.substr(2)
                                                     : dir.file(f));
            EnhancementSettings settings;
            settings.output = row.output;
            BatchJob job(list, settings, OutputRule::enhancedInto(dir.path().string()), jobs);
            std::string message = row.message;
            for (size_t at; (at = message.find("{D}")) != std::string::npos;)
                message.replace(at, 3, dir.path().string());
            // The "./" spelling is told as it was given.
            if (row.list.back().rfind("./", 0) == 0)
                message = "cannot write " + list[0] + " to " + dir.file("enh_s.png") +
                          ": it is also a source of this run";
            EXPECT_EQ(job.refusal(), message);
            const auto results = job.run();
            ASSERT_EQ(results.size(), list.size());
            for (const PhotoResult& r : results) {
                EXPECT_EQ(r.outcome, PhotoOutcome::kUnwritable) << r.source;
                EXPECT_EQ(r.reason, message) << r.source;
            }
            std::map<std::string, std::vector<uint8_t>> after;
            for (const auto& e : fs::directory_iterator(dir.path()))
                if (!fs::is_symlink(e.path())) after[e.path().string()] = readBytes(e.path());
            EXPECT_EQ(after, before);
        }
    }
}

TEST(BatchJob, OutputsThatDoNotClashPassTheCheck) {
    TempDir dir;
    const std::string a = saveAs(dir.file("a.png"), randomImage(9, 7, 24, 1), PNG);
    const std::string b = saveAs(dir.file("A.bmp"), randomImage(9, 7, 24, 2), BMP);
    // An earlier result that is not a source of the run is replaced, as it always was.
    saveAs(dir.file("enh_a.png"), randomImage(9, 7, 24, 3), PNG);
    BatchJob job({a, b}, EnhancementSettings{}, OutputRule::enhancedInto(dir.path().string()));
    EXPECT_EQ(job.refusal(), "");
    const auto results = job.run();
    ASSERT_EQ(results.size(), 2u);
    for (const PhotoResult& r : results) EXPECT_EQ(r.outcome, PhotoOutcome::kWritten) << r.reason;
}

TEST(BatchJob, SkipExistingLeavesOutputsThatAreThere) {
    TempDir dir;
    const auto list = photos(dir, 4);
    const std::string out = dir.file("out");
    fs::create_directory(out);
    const std::vector<uint8_t> earlier{'o', 'l', 'd'};
    writeBytes(out + "/enh_p01.png", earlier);
    // A paletted GIF source keeps ".gif"; its result under that name counts as well.
    const std::string gif = saveAs(dir.file("g.gif"), randomImage(9, 7, 8, 9), GIF);
    writeBytes(out + "/enh_g.gif", earlier);
    std::vector<std::string> all = list;
    all.push_back(gif);
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip ? "skip" : "no skip");
        BatchJob job(all, EnhancementSettings{}, OutputRule::enhancedInto(out), 2);
        job.setSkipExisting(skip);
        const auto results = job.run();
        ASSERT_EQ(results.size(), 5u);
        const PhotoOutcome expected = skip ? PhotoOutcome::kSkipped : PhotoOutcome::kWritten;
        EXPECT_EQ(results[1].outcome, expected);
        EXPECT_EQ(results[4].outcome, expected);
        for (size_t i : {size_t(0), size_t(2), size_t(3)})
            EXPECT_EQ(results[i].outcome, PhotoOutcome::kWritten) << i;
        if (skip) {
            EXPECT_EQ(results[1].written, out + "/enh_p01.png");
            EXPECT_EQ(readBytes(out + "/enh_p01.png"), earlier);
            EXPECT_EQ(readBytes(out + "/enh_g.gif"), earlier);
            EXPECT_EQ(batchSummary(results),
                      "Finished processing 3 images.\n2 skipped: already written.");
        } else {
            EXPECT_NE(readBytes(out + "/enh_p01.png"), earlier);
            EXPECT_EQ(batchSummary(results), "Finished processing 5 images.");
        }
    }
}

TEST(BatchJob, APhotoMayReplaceItsOwnSource) {
    TempDir dir;
    const std::string photo = saveAs(dir.file("own.png"), randomImage(12, 8, 24, 1), PNG);
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(photo.c_str(), &before), 0);
    EnhancementSettings brighter;
    brighter.brightness = 3;
    const auto results = BatchJob({photo}, brighter, OutputRule::exactly(photo)).run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, PhotoOutcome::kWritten) << results[0].reason;
    ASSERT_EQ(stat(photo.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took its place
}

TEST(BatchJob, OutputFoldersAreMadeOrTheirPhotosFailWithTheReason) {
    TempDir dir;
    const std::vector<std::string> list = photos(dir, 3, 10, 8);
    writeBytes(dir.file("plain-file"), {1});
    const struct {
        std::string folder;
        bool create;
        PhotoOutcome outcome;
        std::string reason;  // "" when written
        std::string detail;
    } cases[] = {
        {dir.file("one/two/three"), true, PhotoOutcome::kWritten, "", ""},
        {dir.file("plain-file/out"), true, PhotoOutcome::kUnwritable,
         "cannot create the folder " + dir.file("plain-file") + ": Not a directory",
         dir.file("plain-file") + ": Not a directory"},
        // Left to the caller when not asked for: the writes then fail.
        {dir.file("not/made"), false, PhotoOutcome::kUnwritable,
         "cannot open " + dir.file("not/made/enh_p00.png") + ": No such file or directory",
         dir.file("not/made/enh_p00.png") + ": No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        BatchJob job(list, EnhancementSettings{}, OutputRule::enhancedInto(c.folder), 2);
        job.setCreateOutputFolders(c.create);
        size_t started = 0;
        job.onProgress([&](size_t, size_t, const std::string&) { ++started; });
        const auto results = job.run();
        EXPECT_EQ(started, list.size());
        ASSERT_EQ(results.size(), list.size());
        EXPECT_EQ(results[0].outcome, c.outcome);
        EXPECT_EQ(results[0].reason, c.reason);
        EXPECT_EQ(results[0].detail, c.detail);
        for (const PhotoResult& r : results) EXPECT_EQ(r.outcome, c.outcome) << r.source;
        EXPECT_EQ(fs::is_directory(c.folder), c.create && c.reason.empty());
    }
    EXPECT_FALSE(fs::exists(dir.file("not")));
}

TEST(BatchJob, TheDetailNamesThePathThatFailedAndTheSystemsReason) {
    TempDir dir;
    const std::string photo = saveAs(dir.file("p.png"), randomImage(8, 8, 24, 1), PNG);
    fs::create_directory(dir.file("taken.png"));
    writeBytes(dir.file("junk.png"), {1, 2, 3});
    const struct {
        std::string source;
        OutputRule rule;
        std::string detail;
    } cases[] = {
        {photo, OutputRule::exactly(dir.file("taken.png")),
         dir.file("taken.png") + ": Is a directory"},
        {dir.file("gone.png"), OutputRule::exactly(dir.file("x.png")),
         dir.file("gone.png") + ": No such file or directory"},
        // A reason that is not the system's comes whole.
        {dir.file("junk.png"), OutputRule::exactly(dir.file("y.png")), dir.file("junk.png") + ": "},
    };
    for (const auto& c : cases) {
        const auto results = BatchJob({c.source}, EnhancementSettings{}, c.rule).run();
        ASSERT_EQ(results.size(), 1u);
        if (c.source == dir.file("junk.png")) {
            EXPECT_EQ(results[0].detail, c.detail + results[0].reason);
            EXPECT_EQ(results[0].reason.rfind("cannot", 0), std::string::npos) << results[0].reason;
        } else {
            EXPECT_EQ(results[0].detail, c.detail);
        }
    }
}
