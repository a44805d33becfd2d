// The panel's arithmetic: channel shift, effect predicates, white-point picks and resets.
#include "workflow/enhancement_settings.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

// Counts have no limits; sums are formed wide so that extreme values saturate rather than
// overflow.
int saturate(int64_t v) {
    return int(
        std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ChannelShift EnhancementSettings::channelShift() const {
    const int64_t red = redOffset, green = greenOffset, blue = blueOffset;
    const int64_t yellow = yellowOffset, cyan = cyanOffset, magenta = magentaOffset;
    const int64_t white = whiteOffset, rose = roseOffset, orange = orangeOffset;
    const int64_t skin = skinOffset, brown = brownOffset;
    ChannelShift s;
    s.red = saturate(red + yellow + white + magenta + rose + orange + skin + brown * 153 / 255);
    s.green =
        saturate(green + yellow + white + cyan + orange / 2 + skin * 204 / 255 + brown * 102 / 255);
    s.blue = saturate(blue + cyan + white + magenta + rose / 2 + skin * 153 / 255);
    return s;
}

void EnhancementSettings::startOver() {
    const int keptRotation = rotation;
    const OutputOptions keptOutput = output;
    *this = EnhancementSettings{};
    rotation = keptRotation;
    output = keptOutput;
}

ChannelShift EnhancementSettings::whiteBalanceShift() const {
    const uint32_t v = parseWhiteBalance(whiteBalance);
    return ChannelShift{int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff)};
}

uint32_t parseWhiteBalance(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    uint32_t value = 0;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i)
        value = (value << 4) | uint32_t(hexDigit(text[i]));
    return value;
}

std::string addWhitePoint(const std::string& whiteBalance, ColourRef picked) {
    const uint32_t v = parseWhiteBalance(whiteBalance);
    const uint32_t r0 = v & 0xff, g0 = (v >> 8) & 0xff, b0 = (v >> 16) & 0xff;
    const auto step = [](uint32_t channel) { return uint32_t((255 - int(channel)) * 0.05); };
    const uint32_t dR = step(picked & 0xff);
    const uint32_t dG = step((picked >> 8) & 0xff);
    const uint32_t dB = step((picked >> 16) & 0xff);
    const uint32_t value = ((r0 + dR) & 0xff) | ((g0 + dG) & 0xff) << 8 | ((b0 + dB) & 0xff) << 16;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}
