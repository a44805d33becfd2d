// The cost of metadata around a 3000 x 2000 JPEG photo: loading upright (decode plus the Exiv2
// read) beside the plain decode, and saving with the metadata carried beside the plain save.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "metadata/photo_metadata.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;

DibImage makePhoto() {
    DibImage img(kWidth, kHeight, 24, JPEG);
    uint32_t noise = 2463534242u;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = img.row(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            p[0] = uint8_t(x * 255 / kWidth + noise % 9);
            p[1] = uint8_t(y * 255 / kHeight + noise % 7);
            p[2] = uint8_t((x + y) % 256);
        }
    }
    return img;
}

void le16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(std::vector<uint8_t>& b, uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}

// A camera-like set: EXIF with Make, Orientation 1 and a 24 kB maker blob, an XMP packet, a
// 3 kB ICC profile and a comment.
PhotoMetadata cameraMetadata() {
    PhotoMetadata m;
    std::vector<uint8_t>& t = m.exif;
    t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    le16(t, 3);
    const uint32_t data = 8 + 2 + 3 * 12 + 4;
    le16(t, 0x010F), le16(t, 2), le32(t, 4), le32(t, 0x00414141);  // Make "AAA"
    le16(t, 0x0112), le16(t, 3), le32(t, 1), le32(t, 1);           // Orientation 1
    le16(t, 0x927C), le16(t, 7), le32(t, 24000), le32(t, data);    // MakerNote (undefined)
    le32(t, 0);
    for (int i = 0; i < 24000; ++i) t.push_back(uint8_t(i * 13));
    m.xmp =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
        "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='4'/></rdf:RDF>"
        "</x:xmpmeta><?xpacket end='w'?>";
    m.icc.assign(3000, 7);
    m.icc[0] = m.icc[1] = 0;  // the size field, big-endian
    m.icc[2] = 3000 >> 8, m.icc[3] = 3000 & 0xFF;
    m.comment = "benchmark";
    return m;
}

struct Files {
    std::string plain, tagged;
    DibImage photo;
    PhotoMetadata metadata;
    Files() {
        char dir[] = "/tmp/vfx-metadata-bench-XXXXXX";
        const std::string base = mkdtemp(dir) ? dir : "/tmp";
        plain = base + "/plain.jpg";
        tagged = base + "/tagged.jpg";
        photo = makePhoto();
        metadata = cameraMetadata();
        photo.saveToFile(plain.c_str(), JPEG);
        saveWithMetadata(photo, tagged, JPEG, &metadata);
        // A bench that silently measured a file without metadata would mislead.
        if (readMetadata(tagged).cameraMake != "AAA") {
            std::fprintf(stderr, "the tagged photo carries no metadata\n");
            std::abort();
        }
    }
};

Files& files() {
    static Files f;
    return f;
}

void BM_LoadPlainDecode(benchmark::State& state) {
    for (auto _ : state) {
        DibImage image;
        benchmark::DoNotOptimize(image.loadFromFile(files().tagged.c_str(), JPEG));
    }
}

void BM_LoadUpright(benchmark::State& state) {
    for (auto _ : state) {
        DibImage image;
        PhotoMetadata metadata;
        benchmark::DoNotOptimize(loadUpright(image, files().tagged, JPEG, &metadata));
    }
}

void BM_SavePlain(benchmark::State& state) {
    const std::string out = files().plain + ".out.jpg";
    for (auto _ : state) benchmark::DoNotOptimize(files().photo.saveToFile(out.c_str(), JPEG));
    std::remove(out.c_str());
}

void BM_SaveWithMetadata(benchmark::State& state) {
    const std::string out = files().plain + ".carried.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(saveWithMetadata(files().photo, out, JPEG, &files().metadata));
    std::remove(out.c_str());
}

BENCHMARK(BM_LoadPlainDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadUpright)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWithMetadata)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
