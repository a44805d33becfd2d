// The settings record of corrected copies: written into the XMP of JPEG, PNG, TIFF and WebP
// copies (seen by exiftool), kept beside the photo's metadata, left out with --strip-metadata,
// printed by info, and taken back by --preset-from to make the very same bytes again.
#include <gtest/gtest.h>

#include "metadata/photo_metadata.h"
#include "tests/cli/cli_run.h"
#include "tests/metadata/metadata_fixtures.h"
#include "workflow/preset_file.h"

namespace {

using namespace metadata_test;
using cli_testing::runTool;

const std::vector<std::string> kFlags = {"--sharpen", "1",      "--brightness",    "-7",
                                         "--skin",    "3",      "--rotation",      "-1",
                                         "--effect",  "sepia2", "--white-balance", "000c0c0c"};

EnhancementSettings flagSettings() {
    EnhancementSettings s;
    s.sharpen = 1;
    s.brightness = -7;
    s.skinOffset = 3;
    s.rotation = -1;
    s.effect = kEffectSepia1 + 1;
    s.whiteBalance = "000c0c0c";
    return s;
}

std::vector<std::string> enhance(std::vector<std::string> head, const std::string& source,
                                 const std::string& out) {
    std::vector<std::string> args = {"enhance"};
    args.insert(args.end(), head.begin(), head.end());
    args.insert(args.end(), {source, "-o", out});
    return args;
}

std::string exiftoolRecord(const std::string& path) {
    const std::string command = "exiftool -b -XMP-vantifex:Settings " + cli_testing::quote(path);
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

TEST(PresetRecord, EveryCopyFormatCarriesTheRecord) {
    const bool exiftool = haveExiftool();
    if (!exiftool) std::fprintf(stderr, "exiftool is not installed: Exiv2 reads alone\n");
    const std::string expected = presetText(flagSettings());
    struct Case {
        uint32_t type;
        const char* name;
        bool tagged;  // with the full metadata set
    };
    const Case cases[] = {{JPEG, "card.jpg", false},
                          {PNG, "card.png", false},
                          {TIFF, "card.tif", false},
                          {WEBP, "card.webp", false},
                          {JPEG, "tagged.jpg", true}};
    for (const Case& c : cases) {
        TempDir dir;
        const std::string source = dir.file(c.name);
        writeBytes(source, encode(uprightCard(), c.type, 90));
        if (c.tagged) addFullMetadata(source, 1);
        ASSERT_EQ(runTool(enhance(kFlags, source, dir.file("out"))).status, 0) << c.name;
        const std::string copy = dir.file(std::string("out/enh_") + c.name);
        EXPECT_EQ(readMetadata(copy).settingsRecord, expected) << c.name;
        if (exiftool) {
            EXPECT_EQ(exiftoolRecord(copy), expected) << c.name;
        }
        if (c.tagged) {
            const Found found = readWithExiv2(copy);
            EXPECT_TRUE(
                found.has("xmp", "Xmp.dc.title", std::string("lang=\"x-default\" ") + kTitle))
                << found.xmp;
            EXPECT_TRUE(found.has("exif", "Exif.Image.Make", kMake));
        }

        // Corrected again with other settings: one record, the new one.
        ASSERT_EQ(runTool(enhance({"--contrast", "4"}, copy, dir.file("again"))).status, 0);
        EnhancementSettings contrast;
        contrast.contrast = 4;
        const std::string twice = dir.file(std::string("again/enh_enh_") + c.name);
        EXPECT_EQ(readMetadata(twice).settingsRecord, presetText(contrast)) << c.name;
        const Found found = readWithExiv2(twice);
        EXPECT_EQ(found.xmp.find("Xmp.vantifex."), found.xmp.rfind("Xmp.vantifex.")) << found.xmp;

        ASSERT_EQ(
            runTool(enhance({"--strip-metadata", "--sharpen", "1"}, source, dir.file("strip")))
                .status,
            0);
        const std::string stripped = dir.file(std::string("strip/enh_") + c.name);
        // A TIFF holds its own tags as EXIF; the record is what must be gone.
        EXPECT_EQ(readMetadata(stripped).settingsRecord, "") << c.name;
        if (exiftool) {
            EXPECT_EQ(exiftoolRecord(stripped), "") << c.name;
        }
    }
}

TEST(PresetRecord, PresetsAndRecordsGiveTheBytesOfTheFlags) {
    TempDir dir;
    const std::string source = dir.file("photo.jpg");
    writeBytes(source, encode(uprightCard(), JPEG, 90));
    addFullMetadata(source, 6);
    ASSERT_EQ(runTool(enhance(kFlags, source, dir.file("flags"))).status, 0);
    const Bytes flags = readBytes(dir.file("flags/enh_photo.jpg"));
    ASSERT_FALSE(flags.empty());

    std::vector<std::string> save = {"enhance", "--save-preset", dir.file("p.vfxpreset")};
    save.insert(save.end(), kFlags.begin(), kFlags.end());
    const cli_testing::CliRun saved = runTool(save);
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out, "");
    EnhancementSettings s;
    std::string error;
    ASSERT_TRUE(readPresetFile(dir.file("p.vfxpreset"), &s, &error)) << error;
    EXPECT_EQ(presetText(s), presetText(flagSettings()));

    // A preset with other values under the flags: the flags win, before or after it.
    EnhancementSettings other = flagSettings();
    other.sharpen = 3;
    other.brightness = 20;
    ASSERT_TRUE(writePresetFile(dir.file("other.vfxpreset"), other, &error)) << error;
    const std::vector<std::vector<std::string>> ways = {
        {"--preset", dir.file("p.vfxpreset")},
        {"--preset-from", dir.file("flags/enh_photo.jpg")},
        {"--sharpen", "1", "--preset=" + dir.file("other.vfxpreset"), "--brightness", "-7"},
        {"--brightness=-7", "--preset", dir.file("other.vfxpreset"), "--sharpen", "1"},
    };
    int n = 0;
    for (const auto& way : ways) {
        const std::string out = dir.file("way" + std::to_string(n++));
        const cli_testing::CliRun run = runTool(enhance(way, source, out));
        ASSERT_EQ(run.status, 0) << way[0] << run.err;
        EXPECT_EQ(readBytes(out + "/enh_photo.jpg"), flags) << way[0] << " " << way.back();
    }
}

TEST(PresetRecord, InfoPrintsTheRecord) {
    TempDir dir;
    const std::string source = dir.file("card.png");
    writeBytes(source, encode(uprightCard(), PNG));
    cli_testing::CliRun run = runTool({"info", source});
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\nsettings: none\n"), std::string::npos) << run.out;
    ASSERT_EQ(runTool(enhance(kFlags, source, dir.file("out"))).status, 0);
    run = runTool({"info", dir.file("out/enh_card.png")});
    ASSERT_EQ(run.status, 0);
    std::string indented = "settings:\n";
    const std::string text = presetText(flagSettings());
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        indented += (line.empty() ? "" : "  ") + line + "\n";
        start = end + 1;
    }
    EXPECT_NE(run.out.find(indented), std::string::npos) << run.out;
}

TEST(PresetRecord, RefusalsExitTwoAndWriteNothing) {
    TempDir dir;
    const std::string source = dir.file("card.png");
    writeBytes(source, encode(uprightCard(), PNG));
    writeBytes(dir.file("bad.vfxpreset"),
               Bytes{'\n', 'r', 'o', 't', 'a', 't', 'i', 'o', 'n', ' ', '=', ' ', '9', '\n'});
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--preset", dir.file("bad.vfxpreset")},
         dir.file("bad.vfxpreset") + ":2: 'rotation' must be a whole number from -3 to 3"},
        {{"--preset", dir.file("none.vfxpreset")}, "No such file"},
        {{"--preset-from", source}, source + ": holds no Vantifex settings record"},
        {{"--preset", dir.file("bad.vfxpreset"), "--preset-from", source},
         "only one --preset or --preset-from"},
        {{"--save-preset", dir.file("x.vfxpreset"), "--rotation", "5"},
         "'rotation' must be a whole number from -3 to 3"},
        {{"--save-preset", dir.file("x.vfxpreset"), "--white-balance", "1000000"},
         "'white_balance' must be"},
        {{"--save-preset", dir.file("x.vfxpreset"), source}, "give it no INPUT"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"enhance"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (c.args[0] != "--save-preset") args.insert(args.end(), {source, "-o", dir.file("out")});
        const cli_testing::CliRun run = runTool(args);
        EXPECT_EQ(run.status, 2) << c.args[0];
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out"))) << c.args[0];
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.vfxpreset"))) << c.args[0];
    }
}

}  // namespace
