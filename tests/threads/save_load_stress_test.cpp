// Several threads load and save every format at once while another paints and reads the very
// pictures being saved; every result must equal what one thread alone gets. Run under TSan.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "image/dib_image.h"
#include "image/surface.h"
#include "support/byte_stream_support.h"
#include "support/test_support.h"

namespace {

using byte_stream_support::Bytes;
using byte_stream_support::loadBytes;
using byte_stream_support::saveBytes;
using testing_support::randomImage;
using testing_support::sameImage;

constexpr int kSavers = 3;
constexpr int kRounds = 3;

// One picture of each kind the writers treat specially, with what one thread makes of it.
struct Source {
    std::string name;
    uint32_t type;
    DibImage picture;
    Bytes saved;     // the single-thread save
    DibImage back;   // the single-thread load of those bytes
    uint64_t drawn;  // the single-thread painting and pixel reads
};

// Paints the picture with transparency and alpha and reads every pixel, palette entry and
// alpha value, folded into one number.
uint64_t readEverything(const DibImage& img) {
    Surface surface(img.width() + 4, img.height() + 4);
    surface.fill({0, 0, surface.width(), surface.height()}, 10, 20, 30);
    img.draw(&surface, 2, 2);
    uint64_t sum = 1469598103934665603ull;
    auto mix = [&sum](uint64_t v) { sum = (sum ^ v) * 1099511628211ull; };
    for (int32_t y = 0; y < surface.height(); ++y)
        for (int32_t x = 0; x < surface.width(); ++x) mix(surface.pixelValue(x, y));
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x) {
            mix(img.getPixelColor(x, y).toValue());
            mix(img.alphaGet(x, y));
        }
    mix(uint64_t(int64_t(img.info.backgroundIndex)));
    return sum;
}

std::vector<Source> makeSources() {
    struct Spec {
        const char* name;
        uint32_t type;
        uint32_t bits;
        bool alpha;
        int32_t key;
    };
    const Spec specs[] = {
        {"BMP 8", BMP, 8, false, -1},           {"BMP 24 alpha", BMP, 24, true, -1},
        {"GIF 8 key", GIF, 8, false, 7},        {"JPEG 24", JPEG, 24, false, -1},
        {"PNG 8 key", PNG, 8, false, 7},        {"PNG 4 key", PNG, 4, false, 3},
        {"PNG 24 alpha key", PNG, 24, true, 0}, {"PNG 24 key", PNG, 24, false, 0},
        {"TIFF 8", TIFF, 8, false, -1},         {"TIFF 24 alpha", TIFF, 24, true, -1},
        {"TGA 24 alpha", TGA, 24, true, -1},    {"ICO 8 key alpha", ICO, 8, true, 2},
    };
    std::vector<Source> sources;
    uint32_t seed = 100;
    for (const Spec& s : specs) {
        Source src{s.name,  s.type,     randomImage(48, 32, s.bits, seed++, s.alpha),
                   Bytes(), DibImage(), 0};
        src.picture.info.backgroundIndex = s.key;
        if (s.bits == 24 && s.key >= 0)
            src.picture.info.backgroundColour = src.picture.getPixelColor(3, 3);
        src.picture.header.xPelsPerMeter = 999;  // the block's copy of the header differs
        sources.push_back(std::move(src));
    }
    return sources;
}

TEST(ThreadsStress, LoadsAndSavesOfEveryFormatBesideAReader) {
    std::vector<Source> sources = makeSources();
    for (Source& s : sources) {
        s.drawn = readEverything(s.picture);
        bool ok = false;
        s.saved = saveBytes(s.picture, s.type, &ok);
        ASSERT_TRUE(ok) << s.name << ": " << s.picture.lastError();
        ASSERT_TRUE(loadBytes(s.back, s.saved, s.type)) << s.name << ": " << s.back.lastError();
    }
    // PCX is read only: a committed file, loaded beside the others.
    const Bytes pcx = testing_support::readBytes(testing_support::dataPath("pcx/im-24.pcx"));
    DibImage pcxBack;
    ASSERT_TRUE(loadBytes(pcxBack, pcx, PCX)) << pcxBack.lastError();

    testing_support::TempDir dir;
    std::atomic<bool> saversDone{false};
    std::atomic<int> readerPasses{0};
    std::vector<std::string> failures(kSavers + 1);

    // The reader paints and reads the pictures being saved until every saver is done.
    std::thread reader([&] {
        std::string& failed = failures[kSavers];
        while (!saversDone.load() || readerPasses.load() == 0) {
            for (const Source& s : sources)
                if (readEverything(s.picture) != s.drawn) failed += s.name + " read changed; ";
            readerPasses.fetch_add(1);
        }
    });
    std::vector<std::thread> savers;
    for (int t = 0; t < kSavers; ++t) {
        savers.emplace_back([&, t] {
            std::string& failed = failures[size_t(t)];
            for (int round = 0; round < kRounds; ++round) {
                for (const Source& s : sources) {
                    bool ok = false;
                    if (saveBytes(s.picture, s.type, &ok) != s.saved || !ok)
                        failed += s.name + " saved other bytes; ";
                    const std::string path = dir.file(s.name + "-" + std::to_string(t) + ".out");
                    if (!s.picture.saveToFile(path.c_str(), s.type) ||
                        testing_support::readBytes(path) != s.saved)
                        failed += s.name + " saved another file; ";
                    DibImage back;
                    if (!loadBytes(back, s.saved, s.type) || !sameImage(back, s.back))
                        failed += s.name + " loaded another picture; ";
                }
                DibImage fromPcx;
                if (!loadBytes(fromPcx, pcx, PCX) || !sameImage(fromPcx, pcxBack))
                    failed += "PCX loaded another picture; ";
            }
        });
    }
    for (std::thread& t : savers) t.join();
    saversDone = true;
    reader.join();

    for (size_t i = 0; i < failures.size(); ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
    EXPECT_GT(readerPasses.load(), 0);
    // The sources themselves are as they were made.
    const std::vector<Source> fresh = makeSources();
    for (size_t i = 0; i < sources.size(); ++i)
        EXPECT_TRUE(sameImage(sources[i].picture, fresh[i].picture)) << sources[i].name;
}

}  // namespace
