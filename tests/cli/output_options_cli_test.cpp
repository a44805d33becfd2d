// "vantifex-cli enhance" with the output options, lists of files and --skip-existing: what
// each flag writes, the refusals (exit status 2, naming the flag, nothing written), presets
// overridden and saved, names read from a file or standard input, and the exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/file_list.h"
#include "formats/format_detect.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using cli_testing::CliRun;
using cli_testing::filesIn;
using cli_testing::quote;
using cli_testing::slurp;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

CliRun enhance(const std::vector<std::string>& args) {
    return cli_testing::runEnhance(args);
}

// As enhance, with standard input read from the file input.
CliRun enhanceFrom(const std::vector<std::string>& args, const std::string& input) {
    return cli_testing::runEnhance(args, "", input);
}

// A 40 x 30 photo, PNG, in dir/in.
struct OnePhoto {
    TempDir dir;
    fs::path photo;
    OnePhoto() {
        fs::create_directory(dir.path() / "in");
        photo = dir.path() / "in" / "Photo.png";
        EXPECT_TRUE(randomImage(40, 30, 24, 7).saveToFile(photo.c_str(), PNG));
    }
};

}  // namespace

TEST(EnhanceOutputOptions, EachFlagWritesWhatItSays) {
    const struct Row {
        std::vector<std::string> args;
        const char* name;   // the one file written
        uint32_t type;      // as its content shows
        int width, height;  // of the picture read back
    } rows[] = {
        {{}, "enh_photo.png", PNG, 40, 30},
        {{"--resize", "20"}, "enh_photo.png", PNG, 20, 15},
        {{"--resize", "50%"}, "enh_photo.png", PNG, 20, 15},
        {{"--resize", "10%"}, "enh_photo.png", PNG, 4, 3},
        {{"--resize", "80"}, "enh_photo.png", PNG, 40, 30},  // never larger unasked
        {{"--resize", "200%"}, "enh_photo.png", PNG, 40, 30},
        {{"--resize", "80", "--enlarge"}, "enh_photo.png", PNG, 80, 60},
        {{"--enlarge", "--resize=150%"}, "enh_photo.png", PNG, 60, 45},
        {{"--resize", "none"}, "enh_photo.png", PNG, 40, 30},
        {{"--format", "jpeg"}, "enh_photo.jpg", JPEG, 40, 30},
        {{"--format", "TIFF"}, "enh_photo.tif", TIFF, 40, 30},
        {{"--format", "webp", "--quality", "60"}, "enh_photo.webp", WEBP, 40, 30},
        {{"--format", "source"}, "enh_photo.png", PNG, 40, 30},
        {{"--name", "{stem}-{n:3}.{ext}"}, "photo-001.png", PNG, 40, 30},
        {{"--name", "web_{name}", "--format", "jpeg", "--resize", "10"},
         "web_photo.jpg",
         JPEG,
         10,
         8},
    };
    for (const Row& row : rows) {
        std::string what;
        for (const std::string& a : row.args) what += a + " ";
        SCOPED_TRACE(what);
        OnePhoto p;
        const fs::path out = p.dir.path() / "out";
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {p.photo.string(), "-o", out.string()});
        const CliRun run = enhance(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(filesIn(out), std::vector<std::string>{row.name});
        const std::string written = (out / row.name).string();
        EXPECT_EQ(uint32_t(formats::detectFileFormat(written)), row.type);
        DibImage back;
        ASSERT_TRUE(back.loadFromFile(written.c_str(), row.type));
        EXPECT_EQ(back.width(), row.width);
        EXPECT_EQ(back.height(), row.height);
    }
}

TEST(EnhanceOutputOptions, QualityAndCompressionChangeTheBytes) {
    // Broad flat areas, which zlib packs well and JPEG quality shows on.
    OnePhoto p;
    DibImage flat = testing_support::makeF();
    ASSERT_TRUE(flat.resample(120, 100, 0));
    ASSERT_TRUE(flat.saveToFile(p.photo.c_str(), PNG));
    const auto sizeWith = [&](std::vector<std::string> args) {
        const fs::path out = p.dir.path() / "out";
        fs::remove_all(out);
        args.insert(args.end(), {p.photo.string(), "-o", out.string()});
        const CliRun run = enhance(args);
        EXPECT_EQ(run.status, 0) << run.err;
        const auto names = filesIn(out);
        return names.size() == 1 ? readBytes((out / names[0]).string()) : std::vector<uint8_t>{};
    };
    const auto q10 = sizeWith({"--format", "jpeg", "--quality", "10"});
    const auto q95 = sizeWith({"--format", "jpeg", "--quality", "95"});
    EXPECT_LT(q10.size(), q95.size());
    // 75 is the default: the same bytes as no flag.
    EXPECT_EQ(sizeWith({"--format", "jpeg", "--quality", "75"}), sizeWith({"--format", "jpeg"}));
    const auto stored = sizeWith({"--png-compression", "0"});
    const auto packed = sizeWith({"--png-compression", "9"});
    EXPECT_GT(stored.size(), packed.size());
    EXPECT_GE(stored.size(), size_t(120 * 100 * 3));  // level 0 stores the rows as they are
}

TEST(EnhanceOutputOptions, BadValuesAreRefusedNamingTheFlag) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"--quality", "0"}, "--quality needs a whole number from 1 to 100, not '0'"},
        {{"--quality", "101"}, "--quality needs a whole number from 1 to 100, not '101'"},
        {{"--quality", "high"}, "--quality needs a whole number from 1 to 100, not 'high'"},
        {{"--quality"}, "--quality needs a value"},
        {{"--png-compression", "10"},
         "--png-compression needs a whole number from 0 to 9, not '10'"},
        {{"--png-compression", "-1"},
         "--png-compression needs a whole number from 0 to 9, not '-1'"},
        {{"--resize", "0"},
         "--resize needs N (1 to 65535 pixels), N% (1 to 1000) or none, not '0'"},
        {{"--resize", "65536"},
         "--resize needs N (1 to 65535 pixels), N% (1 to 1000) or none, not '65536'"},
        {{"--resize", "1001%"},
         "--resize needs N (1 to 65535 pixels), N% (1 to 1000) or none, not '1001%'"},
        {{"--resize", "%"},
         "--resize needs N (1 to 65535 pixels), N% (1 to 1000) or none, not '%'"},
        {{"--resize", "50 %"},
         "--resize needs N (1 to 65535 pixels), N% (1 to 1000) or none, not '50 %'"},
        {{"--format", "gif"}, "--format needs source, jpeg, png, tiff or webp, not 'gif'"},
        {{"--name", "a/{name}"},
         "--name needs a file name of 1 to 200 bytes without '/' or control characters, not "
         "'a/{name}'"},
        {{"--name="},
         "--name needs a file name of 1 to 200 bytes without '/' or control characters, not ''"},
        {{"--threads", "0"}, "--threads needs a whole number from 1 to 1024, not '0'"},
        {{"--files-from", ""}, "--files-from needs a file name, or - for standard input"},
        {{"-0"}, "-0 goes with --files-from FILE"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        OnePhoto p;
        std::vector<std::string> args = {p.photo.string(), "-o", (p.dir.path() / "out").string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const CliRun run = enhance(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, std::string("usage: ") + row.message + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(p.dir.path() / "out"));
    }
}

TEST(EnhanceOutputOptions, FlagsOverrideAPresetAndAreSavedInOne) {
    TempDir dir;
    const std::string first = dir.file("web.vfxpreset"), second = dir.file("small.vfxpreset");
    ASSERT_EQ(
        enhance({"--quality", "90", "--resize", "50%", "--format", "jpeg", "--name",
                 "{stem}_web.{ext}", "--enlarge", "--png-compression", "6", "--save-preset", first})
            .status,
        0);
    const std::string text = slurp(first);
    for (const char* line : {"jpeg_quality = 90\n", "png_compression = 6\n",
                             "resize = \"percent\"\n", "resize_value = 50\n", "enlarge = true\n",
                             "format = \"jpeg\"\n", "name_pattern = \"{stem}_web.{ext}\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    // Flags win over the preset wherever they stand; what they leave keeps the preset's value.
    ASSERT_EQ(
        enhance({"--resize", "800", "--preset", first, "--quality", "60", "--save-preset", second})
            .status,
        0);
    const std::string changed = slurp(second);
    for (const char* line : {"jpeg_quality = 60\n", "resize = \"long_edge\"\n",
                             "resize_value = 800\n", "format = \"jpeg\"\n", "enlarge = true\n"})
        EXPECT_NE(changed.find(line), std::string::npos) << line << " in\n" << changed;
    // The preset's options drive a run as the flags would.
    OnePhoto p;
    const fs::path viaPreset = p.dir.path() / "a", viaFlags = p.dir.path() / "b";
    ASSERT_EQ(enhance({"--preset", first, p.photo.string(), "-o", viaPreset.string()}).status, 0);
    ASSERT_EQ(enhance({"--quality", "90", "--resize", "50%", "--format", "jpeg", "--name",
                       "{stem}_web.{ext}", "--enlarge", "--png-compression", "6", p.photo.string(),
                       "-o", viaFlags.string()})
                  .status,
              0);
    ASSERT_EQ(filesIn(viaPreset), std::vector<std::string>{"photo_web.jpg"});
    EXPECT_EQ(readBytes((viaPreset / "photo_web.jpg").string()),
              readBytes((viaFlags / "photo_web.jpg").string()));
}

TEST(FileList, NamesSplitAtNewlinesOrNuls) {
    const struct {
        const char* what;
        std::string bytes;
        bool nul;
        std::vector<std::string> names;
    } rows[] = {
        {"lines", "a.jpg\nb c.png\n", false, {"a.jpg", "b c.png"}},
        {"no last newline", "a.jpg\nb.png", false, {"a.jpg", "b.png"}},
        {"blank lines left out", "\n\na.jpg\n\n", false, {"a.jpg"}},
        {"CR LF", "a.jpg\r\nb.png\r\n", false, {"a.jpg", "b.png"}},
        {"NUL", std::string("a\nb.jpg\0c.png\0", 14), true, {"a\nb.jpg", "c.png"}},
        {"NUL, a CR kept", std::string("x\r\0", 3), true, {"x\r"}},
        {"NUL without the last", std::string("a\0b", 3), true, {"a", "b"}},
        {"empty", "", false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        writeBytes(dir.file("list"), std::vector<uint8_t>(row.bytes.begin(), row.bytes.end()));
        FILE* f = std::fopen(dir.file("list").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<std::string> names;
        EXPECT_TRUE(readFileList(f, row.nul, &names));
        std::fclose(f);
        EXPECT_EQ(names, row.names);
    }
}

TEST(EnhanceOutputOptions, FilesFromAFileOrStandardInput) {
    TempDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directory(in);
    const std::vector<std::string> names = {"one.png", "two words.png", "three.png"};
    std::string lines, nuls;
    for (size_t i = 0; i < names.size(); ++i) {
        const fs::path p = in / names[i];
        ASSERT_TRUE(randomImage(12 + int(i), 9, 24, uint32_t(i + 1)).saveToFile(p.c_str(), PNG));
        lines += p.string() + "\n";
        nuls += p.string() + std::string(1, '\0');
    }
    writeBytes(dir.file("lines"), std::vector<uint8_t>(lines.begin(), lines.end()));
    writeBytes(dir.file("nuls"), std::vector<uint8_t>(nuls.begin(), nuls.end()));
    const fs::path plain = dir.path() / "plain";
    ASSERT_EQ(enhance({in.string(), "-o", plain.string()}).status, 0);
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string input;
    } rows[] = {
        {"lines", {"--files-from", dir.file("lines")}, "/dev/null"},
        {"NUL", {"--files-from", dir.file("nuls"), "-0"}, "/dev/null"},
        {"lines on standard input", {"--files-from", "-"}, dir.file("lines")},
        {"NUL on standard input", {"--null", "--files-from=-"}, dir.file("nuls")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path out = dir.path() / "out";
        fs::remove_all(out);
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"-o", out.string()});
        const CliRun run = enhanceFrom(args, row.input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "Finished processing 3 images.\n");
        EXPECT_EQ(filesIn(out), filesIn(plain));
        for (const std::string& n : filesIn(plain))
            EXPECT_EQ(readBytes((out / n).string()), readBytes((plain / n).string())) << n;
    }
    // A list of nothing, or of a file that is not there, is a mistake: nothing is written.
    writeBytes(dir.file("empty"), {});
    const std::string missing = lines + (in / "gone.png").string() + "\n";
    writeBytes(dir.file("missing"), std::vector<uint8_t>(missing.begin(), missing.end()));
    const struct {
        std::string list;
        std::string message;
    } refusals[] = {
        {dir.file("empty"), "usage: no INPUT in " + dir.file("empty") + "\n"},
        {dir.file("missing"),
         "usage: no such file or folder: " + (in / "gone.png").string() + "\n"},
        {dir.file("absent"),
         "usage: cannot read " + dir.file("absent") + ": No such file or directory\n"},
    };
    for (const auto& r : refusals) {
        const fs::path out = dir.path() / "refused";
        const CliRun run = enhance({"--files-from", r.list, "-o", out.string()});
        EXPECT_EQ(run.status, 2) << r.list;
        EXPECT_EQ(run.err, r.message);
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(EnhanceOutputOptions, ExitStatusesASchedulerCanActOn) {
    TempDir dir;
    const fs::path in = dir.path() / "in", out = dir.path() / "out";
    fs::create_directory(in);
    ASSERT_TRUE(randomImage(12, 9, 24, 1).saveToFile((in / "good.png").c_str(), PNG));
    const std::vector<uint8_t> broken = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0};
    writeBytes((in / "broken.png").string(), broken);
    fs::create_directory(dir.path() / "only");
    fs::copy_file(in / "good.png", dir.path() / "only" / "good.png");
    const std::string good = (dir.path() / "only" / "good.png").string();
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string summary;
    } rows[] = {
        {"all written", {good, "-o", out.string()}, 0, "Finished processing 1 images.\n"},
        {"all skipped",
         {good, "-o", out.string(), "--skip-existing"},
         0,
         "Finished processing 0 images.\n1 skipped: already written.\n"},
        {"written again without --skip-existing",
         {good, "-o", out.string()},
         0,
         "Finished processing 1 images.\n"},
        {"one unreadable", {in.string(), "-o", out.string(), "--skip-existing"}, 1, ""},
        {"a usage error", {good, "--bogus"}, 2, ""},
        {"clashing names", {good, in.string(), "-o", out.string(), "--name", "x.png"}, 2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const CliRun run = enhance(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        if (!row.summary.empty()) {
            EXPECT_EQ(run.out, row.summary);
        }
    }
    EXPECT_EQ(filesIn(out), (std::vector<std::string>{"enh_good.png"}));
}
