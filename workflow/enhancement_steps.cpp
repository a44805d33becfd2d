// The steps of the enhancement order and the two ways of running them at full resolution:
// literally (applySettings) and fused for saving (renderForSaving).
#include "workflow/enhancement_steps.h"

#include <cstring>

#include "workflow/photo_crop.h"

namespace {

void say(StatusSink* sink, const char* text) {
    if (sink) sink->showStatus(text);
}

}  // namespace

namespace steps {

void rotation(PhotoEdit& photo, const EnhancementSettings& s) {
    if (s.rotation != 0) photo.setQuarterTurns(s.rotation);
}

void sharpen(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    if (s.sharpen > 0) {
        say(sink, "Sharpening...");
        for (int i = 0; i < s.sharpen; ++i) photo.sharpen(2);
    } else if (s.sharpen < 0) {
        say(sink, "Blurring...");
        // One blur pass per step, as one sharpen step names the sharpen kernel.
        for (int i = s.sharpen; i < 0; ++i) photo.sharpen(-1);
    }
}

void contrast(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    if (s.contrast == 0) return;
    say(sink, "Contrast...");
    photo.setContrast(100.0 + double(s.contrast));
}

void whiteBalance(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    if (s.whiteBalance.empty()) return;
    const ChannelShift wb = s.whiteBalanceShift();
    say(sink, "White Balance...");
    photo.splitChannels();
    PhotoEdit::offsetPalette(photo.redPlane, wb.red, 0, 0);
    PhotoEdit::offsetPalette(photo.greenPlane, 0, wb.green, 0);
    PhotoEdit::offsetPalette(photo.bluePlane, 0, 0, wb.blue);
    photo.recombine();
}

void brightness(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    if (s.brightness == 0) return;
    say(sink, s.brightness < 0 ? "Darkening..." : "Brightening...");
    photo.brighten(s.brightness);
}

void colours(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    const ChannelShift shift = s.channelShift();
    if (!shift.isZero()) say(sink, "Enhancing Colors...");
    PhotoEdit::offsetPalette(photo.redPlane, shift.red, 0, 0);
    PhotoEdit::offsetPalette(photo.greenPlane, 0, shift.green, 0);
    PhotoEdit::offsetPalette(photo.bluePlane, 0, 0, shift.blue);
    say(sink, "");
}

void mergeBeforeEffect(PhotoEdit& photo, const EnhancementSettings& s) {
    if (s.effectActive() && !s.channelShift().isZero()) photo.recombine();
}

void effect(PhotoEdit& photo, const EnhancementSettings& s) {
    if (!s.effectActive()) return;
    effectOnPicture(photo, s);
    photo.splitChannels();
}

void effectOnPicture(PhotoEdit& photo, const EnhancementSettings& s) {
    if (s.isBlackAndWhite()) {
        photo.grayScale();
    } else if (s.isSepia()) {
        const SepiaTone t = kSepiaTones[s.effect - kEffectSepia1];
        photo.image.toneAndColorize(t.hue, t.saturation);
    } else if (s.isNegative()) {
        photo.negative();
    }
}

}  // namespace steps

void applySettings(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink) {
    steps::rotation(photo, s);
    steps::sharpen(photo, s, sink);
    steps::contrast(photo, s, sink);
    steps::whiteBalance(photo, s, sink);
    steps::brightness(photo, s, sink);
    photo.splitChannels();
    steps::colours(photo, s, sink);
    if (s.effectActive()) {
        steps::mergeBeforeEffect(photo, s);
        steps::effect(photo, s);
    }
}

namespace {

// A new 24-bit picture that carries over image's picture values (resolution, background,
// quality), as creating the recombined picture in place over image does.
DibImage recombinedFrame(const DibImage& image) {
    DibImage out;
    out.header = image.header;
    out.info = image.info;
    out.info.owner = nullptr;
    out.info.pixels = nullptr;
    out.create(image.width(), image.height(), 24, 0);
    return out;
}

// A 24-bit picture made into what recombining it in place would leave: the same pixels,
// imageType 0, no alpha plane, and the header create writes.
void becomeRecombined(DibImage& image) {
    image.alphaDelete();
    image.info.type = 0;
    image.info.colorType = 2;
    image.header.size = 40;
    image.header.planes = 1;
    image.header.compression = 0;
    image.header.colorsImportant = 0;
    image.setXDpi(image.info.xDpi);
    image.setYDpi(image.info.yDpi);
    std::memcpy(image.block(), &image.header, sizeof image.header);
}

}  // namespace

std::string cropOutsideText(const CropRect& crop, int32_t width, int32_t height) {
    return "The crop " + cropText(crop) + " lies outside the photo (" + std::to_string(width) +
           " x " + std::to_string(height) + ")";
}

bool renderForSaving(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink,
                     const CropRect& crop) {
    // Whatever planes the caller made are rebuilt from the image before they are used.
    photo.redPlane.destroy();
    photo.greenPlane.destroy();
    photo.bluePlane.destroy();
    if (!photo.image.isValid()) return false;

    steps::rotation(photo, s);
    if (!crop.isEmpty()) {
        if (!crop.fitsIn(photo.width(), photo.height())) {
            photo.image.setLastError(cropOutsideText(crop, photo.width(), photo.height()).c_str());
            return false;
        }
        if (!cropPhoto(photo, crop)) return false;
    }
    steps::sharpen(photo, s, sink);

    if (photo.image.bitCount() != 24) {
        // Paletted pictures: the steps as they are (their palettes are small).
        steps::contrast(photo, s, sink);
        steps::whiteBalance(photo, s, sink);
        steps::brightness(photo, s, sink);
        photo.splitChannels();
        steps::colours(photo, s, sink);
        if (s.effectActive()) {
            steps::mergeBeforeEffect(photo, s);
            steps::effect(photo, s);
        }
        photo.recombine();
    } else {
        // On 24 bits contrast, white balance, brightness and the colour shift each map every
        // channel value by itself, so together they are one table per channel: run the very
        // same steps on a ramp of all 256 values and read the tables off it.
        PhotoEdit ramp;
        if (!ramp.image.create(256, 1, 24, 0)) return false;
        for (int i = 0; i < 256; ++i) std::memset(ramp.image.row(0) + i * 3, i, 3);
        steps::contrast(ramp, s, sink);
        steps::whiteBalance(ramp, s, sink);
        steps::brightness(ramp, s, sink);
        ramp.splitChannels();
        steps::colours(ramp, s, sink);
        ramp.recombine();
        uint8_t table[3][256];
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) table[c][i] = ramp.image.row(0)[i * 3 + c];

        DibImage& image = photo.image;
        const int32_t W = image.width(), H = image.height();
        for (int32_t y = 0; y < H; ++y) {
            uint8_t* p = image.row(y);
            for (int32_t x = 0; x < W; ++x, p += 3) {
                p[0] = table[0][p[0]];
                p[1] = table[1][p[1]];
                p[2] = table[2][p[2]];
            }
        }
        // A rebuild from planes (white balance, or the merge before an effect) leaves a
        // picture of imageType 0 without alpha plane, and the effect works on that one.
        if (!s.whiteBalance.empty() || (s.effectActive() && !s.channelShift().isZero())) {
            image.alphaDelete();
            image.info.type = 0;
        }
        // The output is built from the picture itself, so the effect needs no new planes.
        if (s.effectActive()) steps::effectOnPicture(photo, s);
        if (image.bitCount() == 24) {
            becomeRecombined(image);
        } else {
            DibImage out = recombinedFrame(image);
            if (!image.writeColoursInto(out)) return false;
            image.transfer(out);
        }
    }
    photo.redPlane.destroy();
    photo.greenPlane.destroy();
    photo.bluePlane.destroy();
    return photo.image.isValid();
}
