// Presets: every field survives text and file, and every value the panel cannot reach, every
// unknown key, wrong type and syntax error is refused with its line, leaving the settings be.
#include "workflow/preset_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "support/test_support.h"

namespace {

auto fields(const EnhancementSettings& s) {
    return std::tie(s.redOffset, s.greenOffset, s.blueOffset, s.yellowOffset, s.cyanOffset,
                    s.magentaOffset, s.whiteOffset, s.roseOffset, s.orangeOffset, s.skinOffset,
                    s.brownOffset, s.sharpen, s.brightness, s.contrast, s.whiteBalance,
                    s.pointColour, s.rotation, s.effect, s.output);
}

// Every field away from its default, each to a different value, the extremes included.
EnhancementSettings everyFieldSet() {
    EnhancementSettings s;
    int v = 1;
    for (int* f : {&s.redOffset, &s.greenOffset, &s.blueOffset, &s.yellowOffset, &s.cyanOffset,
                   &s.magentaOffset, &s.whiteOffset, &s.roseOffset, &s.orangeOffset}) {
        *f = v * (v % 2 ? 1 : -1);
        ++v;
    }
    s.skinOffset = 2147483647;
    s.brownOffset = -2147483647 - 1;
    s.sharpen = -3;
    s.brightness = 40;
    s.contrast = -25;
    s.whiteBalance = "000c0c0c";
    s.pointColour = colourRef(12, 200, 0);
    s.rotation = -3;
    s.effect = kEffectSepia1 + 3;
    s.output = OutputOptions{
        90, 6, ResizeMode::LongEdge, 1600, true, OutputFormat::Webp, "fixed \"{name}\" \\ copy"};
    return s;
}

TEST(PresetFile, EveryFieldSurvivesTextAndFile) {
    const EnhancementSettings in = everyFieldSet();
    EnhancementSettings back;
    std::string error;
    ASSERT_TRUE(parsePreset(presetText(in), "p", &back, &error)) << error;
    EXPECT_EQ(fields(back), fields(in));
    // The text is a function of the settings alone: written again, the same bytes.
    EXPECT_EQ(presetText(back), presetText(in));

    testing_support::TempDir dir;
    const std::string path = dir.file("a.vfxpreset");
    ASSERT_TRUE(writePresetFile(path, in, &error)) << error;
    EnhancementSettings fromFile;
    ASSERT_TRUE(readPresetFile(path, &fromFile, &error)) << error;
    EXPECT_EQ(fields(fromFile), fields(in));

    // Each effect by its name, and each resize mode and format by theirs.
    for (int effect = 0; effect <= 8; ++effect) {
        EnhancementSettings s;
        s.effect = effect;
        s.output.format = OutputFormat(effect % 5);
        s.output.resize = ResizeMode(effect % 3);
        s.output.resizeValue = effect % 3 ? 50 : 0;
        ASSERT_TRUE(parsePreset(presetText(s), "p", &back, &error)) << error;
        EXPECT_EQ(fields(back), fields(s)) << kEffectNames[effect];
    }
}

TEST(PresetFile, MissingKeysAreDefaults) {
    EnhancementSettings s = everyFieldSet();
    std::string error;
    ASSERT_TRUE(parsePreset("# nothing\n", "p", &s, &error)) << error;
    EXPECT_EQ(fields(s), fields(EnhancementSettings{}));
    ASSERT_TRUE(parsePreset("contrast = 7\n[output]\njpeg_quality = 1\n", "p", &s, &error));
    EnhancementSettings expected;
    expected.contrast = 7;
    expected.output.jpegQuality = 1;
    EXPECT_EQ(fields(s), fields(expected));
}

struct Refusal {
    const char* text;
    const char* message;  // the whole message after "p.vfxpreset:"
};

TEST(PresetFile, RefusalsNameKeyAndLine) {
    const Refusal refusals[] = {
        {"\n\nsharpness = 1\n", "3: unknown key 'sharpness'"},
        {"[colour]\nred = 1\nredd = 2\n", "3: unknown key 'colour.redd'"},
        {"[output]\nquality = 9\n", "2: unknown key 'output.quality'"},
        {"[tone]\n", "1: unknown key 'tone'"},
        {"sharpen = \"2\"\n", "1: 'sharpen' must be a whole number from -2147483648 to 2147483647"},
        {"sharpen = 1.5\n", "1: 'sharpen' must be a whole number from -2147483648 to 2147483647"},
        {"brightness = 2147483648\n",
         "1: 'brightness' must be a whole number from -2147483648 to 2147483647"},
        {"[colour]\nbrown = -2147483649\n",
         "2: 'colour.brown' must be a whole number from -2147483648 to 2147483647"},
        {"colour = 3\n", "1: 'colour' must be a table of the eleven colour rows"},
        {"rotation = 4\n", "1: 'rotation' must be a whole number from -3 to 3 (quarter turns)"},
        {"rotation = -4\n", "1: 'rotation' must be a whole number from -3 to 3 (quarter turns)"},
        {"effect = \"sepia 1\"\n",
         "1: 'effect' must be \"None\", \"Black & White\", \"Sepia 1\", \"Sepia 2\", \"Sepia 3\", "
         "\"Sepia 4\", \"Sepia 5\", \"Sepia 6\" or \"Negative\""},
        {"effect = 2\n", "1: 'effect' must be a quoted text"},
        {"white_balance = \"c0c0c\"\n",
         "1: 'white_balance' must be \"\" or eight lower-case hex digits \"00bbggrr\" (red in the "
         "low byte)"},
        {"white_balance = \"ff0c0c0c\"\n",
         "1: 'white_balance' must be \"\" or eight lower-case hex digits \"00bbggrr\" (red in the "
         "low byte)"},
        {"white_balance = \"000C0C0C\"\n",
         "1: 'white_balance' must be \"\" or eight lower-case hex digits \"00bbggrr\" (red in the "
         "low byte)"},
        {"point_colour = [1, 2]\n", "1: 'point_colour' must be [red, green, blue], each 0 to 255"},
        {"point_colour = [1, 2, 256]\n",
         "1: 'point_colour' must be [red, green, blue], each 0 to 255"},
        {"point_colour = \"#ffffff\"\n",
         "1: 'point_colour' must be [red, green, blue], each 0 to 255"},
        {"version = 2\n", "1: 'version' must be a whole number from 1 to 1"},
        {"[output]\njpeg_quality = 0\n",
         "2: 'output.jpeg_quality' must be a whole number from 1 to 100"},
        {"[output]\njpeg_quality = 101\n",
         "2: 'output.jpeg_quality' must be a whole number from 1 to 100"},
        {"[output]\npng_compression = 10\n",
         "2: 'output.png_compression' must be a whole number from -1 to 9"},
        {"[output]\nresize = \"longedge\"\n",
         "2: 'output.resize' must be \"none\", \"long_edge\" or \"percent\""},
        {"[output]\nformat = \"jpg\"\n",
         "2: 'output.format' must be \"as_source\", \"jpeg\", \"png\", \"tiff\" or \"webp\""},
        {"[output]\nenlarge = 1\n", "2: 'output.enlarge' must be true or false"},
        {"[output]\nname_pattern = \"\"\n",
         "2: 'output.name_pattern' must be a file name of 1 to 200 bytes"},
        {"[output]\nname_pattern = \"../{name}\"\n",
         "2: 'output.name_pattern' must be a file name without '/' or control characters"},
        {"[output]\nname_pattern = \"a\\u001b[2J\"\n",
         "2: 'output.name_pattern' must be a file name without '/' or control characters"},
        // The value is checked against the mode, whichever comes first.
        {"[output]\nresize_value = 50\n",
         "1: 'output.resize_value' must be 0 when 'output.resize' is \"none\""},
        {"[output]\nresize_value = 0\nresize = \"long_edge\"\n",
         "1: 'output.resize_value' must be a whole number from 1 to 65535 (pixels of the long "
         "edge)"},
        {"[output]\nresize = \"percent\"\nresize_value = 1001\n",
         "1: 'output.resize_value' must be a whole number from 1 to 1000 (percent)"},
    };
    for (const Refusal& r : refusals) {
        EnhancementSettings s = everyFieldSet();
        std::string error;
        EXPECT_FALSE(parsePreset(r.text, "p.vfxpreset", &s, &error)) << r.text;
        EXPECT_EQ(error, std::string("p.vfxpreset:") + r.message) << r.text;
        EXPECT_EQ(fields(s), fields(everyFieldSet())) << r.text;
    }
}

TEST(PresetFile, SyntaxErrorsAndFilesAreRefusedWithTheirLine) {
    const Refusal refusals[] = {
        {"sharpen = 1\ncontrast = \n", "2: "},
        {"sharpen = 1\nsharpen = 2\n", "2: "},
        {"[output\n", "1: "},
        {"a\x1b[2J = 1\n", "1: "},
    };
    for (const Refusal& r : refusals) {
        EnhancementSettings s = everyFieldSet();
        std::string error;
        EXPECT_FALSE(parsePreset(r.text, "p.vfxpreset", &s, &error)) << r.text;
        EXPECT_EQ(error.rfind(std::string("p.vfxpreset:") + r.message, 0), 0u) << error;
        EXPECT_EQ(error.find('\x1b'), std::string::npos) << error;
        EXPECT_EQ(fields(s), fields(everyFieldSet())) << r.text;
    }

    testing_support::TempDir dir;
    EnhancementSettings s;
    std::string error;
    EXPECT_FALSE(readPresetFile(dir.file("missing.vfxpreset"), &s, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    testing_support::writeBytes(dir.file("big.vfxpreset"), std::vector<uint8_t>(70000, '#'));
    EXPECT_FALSE(readPresetFile(dir.file("big.vfxpreset"), &s, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST(PresetFile, WritingRefusesWhatReadingWould) {
    struct Case {
        void (*change)(EnhancementSettings&);
        const char* key;
    };
    const Case cases[] = {
        {[](EnhancementSettings& s) { s.rotation = 5; }, "'rotation'"},
        {[](EnhancementSettings& s) { s.effect = 9; }, "'effect'"},
        {[](EnhancementSettings& s) { s.whiteBalance = "ff000000"; }, "'white_balance'"},
        {[](EnhancementSettings& s) { s.pointColour = 0x1000000; }, "'point_colour'"},
        {[](EnhancementSettings& s) { s.output.jpegQuality = 0; }, "'output.jpeg_quality'"},
        {[](EnhancementSettings& s) { s.output.namePattern = "a/b"; }, "'output.name_pattern'"},
    };
    testing_support::TempDir dir;
    for (const Case& c : cases) {
        EnhancementSettings s;
        c.change(s);
        std::string error;
        EXPECT_FALSE(writePresetFile(dir.file("x.vfxpreset"), s, &error)) << c.key;
        EXPECT_EQ(error.rfind(c.key, 0), 0u) << error;
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.vfxpreset"))) << c.key;
    }
}

}  // namespace
