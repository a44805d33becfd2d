// EnhancementSettings: defaults, the channel shift of each colour row, the effect
// predicates, the rotate remainders, "start over" and the white-point arithmetic.
#include "workflow/enhancement_settings.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(EnhancementSettings, StartsNeutral) {
    const EnhancementSettings s;
    EXPECT_EQ(s.channelShift(), (ChannelShift{0, 0, 0}));
    EXPECT_EQ(s.sharpen, 0);
    EXPECT_EQ(s.brightness, 0);
    EXPECT_EQ(s.contrast, 0);
    EXPECT_TRUE(s.whiteBalance.empty());
    EXPECT_EQ(s.pointColour, colourRef(255, 255, 255));
    EXPECT_EQ(s.rotation, 0);
    EXPECT_EQ(s.effect, kEffectNone);
    EXPECT_FALSE(s.effectActive());
    EXPECT_STREQ(kEffectNames[0], "None");
    EXPECT_STREQ(kEffectNames[1], "Black & White");
    EXPECT_STREQ(kEffectNames[7], "Sepia 6");
    EXPECT_STREQ(kEffectNames[8], "Negative");
}

TEST(EnhancementSettings, ChannelShiftWeighsEachRowBySwatch) {
    struct Case {
        int EnhancementSettings::*field;
        int count;
        ChannelShift expected;
    };
    // Swatches: yellow (255,255,0), cyan (0,255,255), magenta (255,0,255), white, rose
    // (255,0,127), orange (255,127,0), skin (255,204,153), brown (153,102,0); 127 is a half.
    const Case cases[] = {
        {&EnhancementSettings::redOffset, 7, {7, 0, 0}},
        {&EnhancementSettings::greenOffset, -4, {0, -4, 0}},
        {&EnhancementSettings::blueOffset, 2, {0, 0, 2}},
        {&EnhancementSettings::yellowOffset, 3, {3, 3, 0}},
        {&EnhancementSettings::cyanOffset, 3, {0, 3, 3}},
        {&EnhancementSettings::magentaOffset, 3, {3, 0, 3}},
        {&EnhancementSettings::whiteOffset, -2, {-2, -2, -2}},
        {&EnhancementSettings::roseOffset, 3, {3, 0, 1}},
        {&EnhancementSettings::orangeOffset, 3, {3, 1, 0}},
        {&EnhancementSettings::orangeOffset, -3, {-3, -1, 0}},  // toward zero
        {&EnhancementSettings::skinOffset, 5, {5, 4, 3}},
        {&EnhancementSettings::brownOffset, -5, {-3, -2, 0}},
        {&EnhancementSettings::brownOffset, 10, {6, 4, 0}},
    };
    for (const Case& c : cases) {
        EnhancementSettings s;
        s.*(c.field) = c.count;
        EXPECT_EQ(s.channelShift(), c.expected) << "count " << c.count;
    }
    // Rows add up; each division truncates separately.
    EnhancementSettings s;
    s.redOffset = 1;
    s.skinOffset = 5;
    s.roseOffset = 3;
    EXPECT_EQ(s.channelShift(), (ChannelShift{9, 4, 4}));
}

TEST(EnhancementSettings, TenUpTenDownIsNeutral) {
    EnhancementSettings s;
    for (int i = 0; i < 10; ++i) ++s.redOffset;
    EXPECT_EQ(s.channelShift(), (ChannelShift{10, 0, 0}));
    for (int i = 0; i < 10; ++i) --s.redOffset;
    EXPECT_EQ(s.redOffset, 0);
    EXPECT_TRUE(s.channelShift().isZero());
}

TEST(EnhancementSettings, ExtremeCountsSaturateInsteadOfOverflowing) {
    EnhancementSettings s;
    s.redOffset = 2147483647;
    s.yellowOffset = 2147483647;
    EXPECT_EQ(s.channelShift().red, 2147483647);
    EXPECT_EQ(s.channelShift().green, 2147483647);
    s = EnhancementSettings{};
    s.brownOffset = -2147483647 - 1;
    EXPECT_EQ(s.channelShift().red, int((-2147483648LL * 153) / 255));
}

TEST(EnhancementSettings, EffectPredicates) {
    EnhancementSettings s;
    for (int e = -1; e <= 9; ++e) {
        s.effect = e;
        EXPECT_EQ(s.effectActive(), e >= 1 && e <= 8) << e;
        EXPECT_EQ(s.isBlackAndWhite(), e == 1) << e;
        EXPECT_EQ(s.isSepia(), e >= 2 && e <= 7) << e;
        EXPECT_EQ(s.isNegative(), e == 8) << e;
    }
    EXPECT_EQ(kSepiaTones[0].hue, 30);
    EXPECT_EQ(kSepiaTones[0].saturation, 50);
    EXPECT_EQ(kSepiaTones[5].hue, 13);
    EXPECT_EQ(kSepiaTones[5].saturation, 82);
}

TEST(EnhancementSettings, RotateRemaindersKeepTheSign) {
    EnhancementSettings s;
    s.rotateLeft();
    EXPECT_EQ(s.rotation, -1);
    s.rotateLeft();
    EXPECT_EQ(s.rotation, -2);
    s.rotateLeft();
    EXPECT_EQ(s.rotation, -3);
    s.rotateLeft();
    EXPECT_EQ(s.rotation, 0);  // -4 becomes 0
    for (int expected : {1, 2, 3, 0, 1}) {
        s.rotateRight();
        EXPECT_EQ(s.rotation, expected);
    }
    s.rotation = -1;
    s.rotateRight();
    EXPECT_EQ(s.rotation, 0);
    s.rotation = -3;
    s.rotateRight();
    EXPECT_EQ(s.rotation, -2);  // one turn right of three left is two left
}

TEST(EnhancementSettings, StartOverKeepsOnlyRotation) {
    EnhancementSettings s;
    s.redOffset = s.greenOffset = s.blueOffset = s.yellowOffset = s.cyanOffset = 3;
    s.magentaOffset = s.whiteOffset = s.roseOffset = s.orangeOffset = -3;
    s.skinOffset = s.brownOffset = 9;
    s.sharpen = -2;
    s.brightness = 5;
    s.contrast = 10;
    s.whiteBalance = "000c0c0c";
    s.pointColour = colourRef(1, 2, 3);
    s.effect = 5;
    s.rotateLeft();
    s.startOver();
    EnhancementSettings fresh;
    fresh.rotation = -1;
    EXPECT_EQ(s.rotation, -1);
    EXPECT_EQ(s.channelShift(), (ChannelShift{0, 0, 0}));
    EXPECT_EQ(s.redOffset + s.greenOffset + s.blueOffset + s.yellowOffset + s.cyanOffset +
                  s.magentaOffset + s.whiteOffset + s.roseOffset + s.orangeOffset + s.skinOffset +
                  s.brownOffset,
              0);
    EXPECT_EQ(s.skinOffset, 0);
    EXPECT_EQ(s.sharpen, 0);
    EXPECT_EQ(s.brightness, 0);
    EXPECT_EQ(s.contrast, 0);
    EXPECT_TRUE(s.whiteBalance.empty());
    EXPECT_EQ(s.pointColour, colourRef(255, 255, 255));
    EXPECT_EQ(s.effect, kEffectNone);
}

TEST(WhitePoint, PickArithmetic) {
    // Black adds trunc(255 * 0.05) = 12 to each stored correction; white adds nothing but
    // the text gets its eight digits.
    EXPECT_EQ(addWhitePoint("", colourRef(0, 0, 0)), "000c0c0c");
    EXPECT_EQ(addWhitePoint("", colourRef(255, 255, 255)), "00000000");
    EXPECT_EQ(addWhitePoint("000c0c0c", colourRef(0, 0, 0)), "00181818");
    // Red in the low byte: (235, 55, 0) adds 1 to red, 10 to green, 12 to blue.
    EXPECT_EQ(addWhitePoint("", colourRef(235, 55, 0)), "000c0a01");
    // A sum past 255 keeps its low eight bits, per channel.
    EXPECT_EQ(addWhitePoint("000000fa", colourRef(0, 255, 255)), "00000006");
    // Bits above the blue byte are dropped by the rebuild.
    EXPECT_EQ(addWhitePoint("ff000000", colourRef(255, 255, 255)), "00000000");
    // Every value: d = trunc((255 - v) * 0.05), so v = 235 gives 1 and v = 236 gives 0.
    for (int v = 0; v < 256; ++v) {
        const int d = (255 - v) / 20;  // the same truncation in exact integers
        char expected[16];
        std::snprintf(expected, sizeof expected, "%08x", d);
        EXPECT_EQ(addWhitePoint("", colourRef(uint8_t(v), 255, 255)), expected) << v;
    }
}

TEST(WhitePoint, ParsingTheStoredText) {
    EXPECT_EQ(parseWhiteBalance(""), 0u);
    EXPECT_EQ(parseWhiteBalance("000c0c0c"), 0x000c0c0cu);
    EXPECT_EQ(parseWhiteBalance("00FFfF01"), 0x00ffff01u);
    EXPECT_EQ(parseWhiteBalance("0x1f"), 0x1fu);
    EXPECT_EQ(parseWhiteBalance("12zz"), 0x12u);
    EXPECT_EQ(parseWhiteBalance("zz"), 0u);
    EnhancementSettings s;
    s.whiteBalance = "00010203";
    EXPECT_EQ(s.whiteBalanceShift(), (ChannelShift{3, 2, 1}));
    s.whiteBalance.clear();
    EXPECT_EQ(s.whiteBalanceShift(), (ChannelShift{0, 0, 0}));
}
