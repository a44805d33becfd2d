// EnhancementSettings: the values of the enhancement panel, one record for the whole run,
// with the derived channel shift, the effect predicates and the panel's click arithmetic.
#pragma once

#include <cstdint>
#include <string>

#include "workflow/output_options.h"

// A colour at the user-interface boundary: red in the low byte, then green, then blue.
using ColourRef = uint32_t;

inline constexpr ColourRef colourRef(uint8_t red, uint8_t green, uint8_t blue) {
    return ColourRef(red) | ColourRef(green) << 8 | ColourRef(blue) << 16;
}

struct ChannelShift {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool isZero() const { return red == 0 && green == 0 && blue == 0; }
    friend bool operator==(const ChannelShift&, const ChannelShift&) = default;
};

// The entries of the "FX" list, by index.
enum Effect : int {
    kEffectNone = 0,
    kEffectBlackAndWhite = 1,
    kEffectSepia1 = 2,
    kEffectSepia6 = 7,
    kEffectNegative = 8,
};

inline constexpr const char* kEffectNames[9] = {
    "None",    "Black & White", "Sepia 1", "Sepia 2",  "Sepia 3",
    "Sepia 4", "Sepia 5",       "Sepia 6", "Negative",
};

// The (hue, saturation) of "Sepia 1" to "Sepia 6".
struct SepiaTone {
    uint8_t hue;
    uint8_t saturation;
};
inline constexpr SepiaTone kSepiaTones[6] = {{30, 50}, {27, 45}, {24, 40},
                                             {20, 60}, {17, 68}, {13, 82}};

struct EnhancementSettings {
    int redOffset = 0;
    int greenOffset = 0;
    int blueOffset = 0;
    int yellowOffset = 0;
    int cyanOffset = 0;
    int magentaOffset = 0;
    int whiteOffset = 0;
    int roseOffset = 0;
    int orangeOffset = 0;
    int skinOffset = 0;
    int brownOffset = 0;
    int sharpen = 0;
    int brightness = 0;
    int contrast = 0;
    // Empty, or eight hex digits ("%08x") whose low byte is the red correction.
    std::string whiteBalance;
    ColourRef pointColour = colourRef(255, 255, 255);
    int rotation = 0;
    int effect = kEffectNone;
    // How the copies are written; "start over" leaves it.
    OutputOptions output;

    // Each colour row weighted by its swatch's components / 255 (127 counts as one half).
    ChannelShift channelShift() const;

    bool effectActive() const { return effect >= 1 && effect <= 8; }
    bool isBlackAndWhite() const { return effect == kEffectBlackAndWhite; }
    bool isSepia() const { return effect >= kEffectSepia1 && effect <= kEffectSepia6; }
    bool isNegative() const { return effect == kEffectNegative; }

    // "rotate left" / "rotate right": one quarter turn, remainder 4 with the sign kept.
    void rotateLeft() { rotation = (rotation - 1) % 4; }
    void rotateRight() { rotation = (rotation + 1) % 4; }

    // "start over": every value back to its start except rotation.
    void startOver();

    // The corrections stored in whiteBalance (all 0 when empty).
    ChannelShift whiteBalanceShift() const;
};

// A count of the settings record by the name presets and the command line give it; the
// eleven colour rows.
struct NamedCount {
    const char* name;
    int EnhancementSettings::*field;
};
inline constexpr NamedCount kNamedCounts[] = {
    {"red", &EnhancementSettings::redOffset},
    {"green", &EnhancementSettings::greenOffset},
    {"blue", &EnhancementSettings::blueOffset},
    {"yellow", &EnhancementSettings::yellowOffset},
    {"cyan", &EnhancementSettings::cyanOffset},
    {"magenta", &EnhancementSettings::magentaOffset},
    {"white", &EnhancementSettings::whiteOffset},
    {"rose", &EnhancementSettings::roseOffset},
    {"orange", &EnhancementSettings::orangeOffset},
    {"skin", &EnhancementSettings::skinOffset},
    {"brown", &EnhancementSettings::brownOffset},
};

// The number in a white-balance text: leading hex digits (an optional "0x" first), 0 when
// there are none; only the low 32 bits are kept.
uint32_t parseWhiteBalance(const std::string& text);

// A white-point click on a pixel of colour picked (red in the low byte): each channel's
// stored correction grows by trunc((255 - v) * 0.05), kept to eight bits; "%08x".
std::string addWhitePoint(const std::string& whiteBalance, ColourRef picked);
