// HEIF/AVIF codec: libheif glue (the file held in memory, the library's sizes checked against the
// decode budget before it decodes) and the copy of its interleaved RGB(A) into a bottom-up DIB.
#include "formats/heif/heif_codec.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/heif/heif_layout.h"

namespace {

constexpr const char* kNoMemory = "Can't allocate memory";

// The whole file is held in memory while it decodes; real photos are a few megabytes.
constexpr uint64_t kMaxFileBytes = uint64_t(256) << 20;
constexpr size_t kReadChunk = size_t(64) << 10;
// The least a decoded pixel can cost: 8-bit 4:2:0 planes, the library's RGB copy and ours.
constexpr uint64_t kLeastBytesPerPixel = 8;
// The longest side the library is let to decode when the budget does not bound it.
constexpr int kMaxSide = 65536;
// Thumbnails looked at for a reduced picture; files carry one or two.
constexpr int kMaxThumbnails = 16;
// Every item of a grid is decoded on its own (about half a millisecond each, however small),
// and the library's parse grows faster than their number: a small file declaring thousands of
// tiny tiles would take seconds. Items allowed: this many, and one more per 512 file bytes.
constexpr uint64_t kLeastItems = 128;
constexpr uint64_t kBytesPerItem = 512;
// The coded area a grid tile may have beyond its share: twice a 64 x 64 block.
constexpr uint64_t kPaddingPerPart = 2 * 64 * 64;

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<const heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<const heif_image, ImageRelease>;
using Options = std::unique_ptr<heif_decoding_options, OptionsFree>;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

enum class BmffKind { None, Heif, Avif };

BmffKind bmffKind(const uint8_t* head, size_t length) {
    if (!head || length < 12 || be32(head + 4) != fourcc("ftyp")) return BmffKind::None;
    const uint32_t boxSize = be32(head);
    if (boxSize < 16) return BmffKind::None;
    const uint32_t major = be32(head + 8);
    if (major == fourcc("avif") || major == fourcc("avis")) return BmffKind::Avif;
    for (const uint32_t brand : {fourcc("heic"), fourcc("heix"), fourcc("heim"), fourcc("heis"),
                                 fourcc("hevc"), fourcc("hevx")})
        if (major == brand) return BmffKind::Heif;
    if (major != fourcc("mif1") && major != fourcc("msf1")) return BmffKind::None;
    // The generic image brands say nothing of the coding; an AV1 brand among the compatible
    // ones (after the minor version) makes the file AVIF.
    const size_t end = std::min<size_t>(length, boxSize);
    for (size_t at = 16; at + 4 <= end; at += 4) {
        const uint32_t brand = be32(head + at);
        if (brand == fourcc("avif") || brand == fourcc("avis")) return BmffKind::Avif;
    }
    return BmffKind::Heif;
}

// The side above which the library refuses any item (the picture, its tiles, alpha and
// thumbnails) before it allocates: the largest square the budget could hold at the least cost.
int sideLimit(uint64_t budget) {
    if (budget == UINT64_MAX) return kMaxSide;
    const auto side = uint64_t(std::sqrt(double(budget / kLeastBytesPerPixel)));
    // The library refuses sides equal to the limit too.
    return int(std::clamp<uint64_t>(side + 1, 2, kMaxSide));
}

// The longest coded side the library may decode for a picture (or a grid's tile) of these
// sides. Coders pad to whole blocks (x265 a small picture to 64 x 64): rounded up to 64 pixels
// with 64 to spare.
int codedSideLimit(int64_t width, int64_t height, int64_t codedWidth, int64_t codedHeight) {
    const int64_t side = std::max({width, height, codedWidth, codedHeight});
    return int(std::min<int64_t>((side + 63) / 64 * 64 + 64 + 1, kMaxSide + 1));
}

// What the library holds at its peak before our picture exists: the decoded planes (two bytes
// a sample above 8 bits, chroma at full size for 4:4:4) and two interleaved copies while it
// converts them.
uint64_t libraryBytes(uint64_t pixels, int lumaBits, bool withAlpha) {
    const uint64_t sampleBytes = lumaBits > 0 && lumaBits <= 8 ? 1 : 2;
    const uint64_t channels = withAlpha ? 4 : 3;
    return pixels * channels * sampleBytes * 3;
}

// The smallest thumbnail of the picture's own shape and alpha that covers the wish, or none.
Handle coveringThumbnail(const heif_image_handle* primary, int32_t minWidth, int32_t minHeight) {
    if (minWidth <= 0 && minHeight <= 0) return nullptr;
    const int count = std::min(heif_image_handle_get_number_of_thumbnails(primary), kMaxThumbnails);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    const int64_t w = heif_image_handle_get_width(primary);
    const int64_t h = heif_image_handle_get_height(primary);
    const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    Handle best;
    for (int i = 0; i < std::min(listed, count); ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &raw).code != heif_error_Ok)
            continue;
        Handle thumb(raw);
        const int64_t tw = heif_image_handle_get_width(raw);
        const int64_t th = heif_image_handle_get_height(raw);
        // A thumbnail turned otherwise than the picture, or cut to another shape, would show
        // something else; one pixel of rounding is allowed.
        const bool sameShape = std::abs(tw * h - th * w) <= std::max(w, h);
        if (tw < minWidth || th < minHeight || tw >= w || !sameShape ||
            (heif_image_handle_has_alpha_channel(raw) != 0) != alpha)
            continue;
        if (!best || tw < heif_image_handle_get_width(best.get())) best = std::move(thumb);
    }
    return best;
}

// Straight alpha from premultiplied colour, rounded to nearest.
uint8_t unpremultiply(uint8_t value, uint8_t alpha) {
    if (alpha == 0) return 0;
    return uint8_t(std::min(255u, (unsigned(value) * 255 + alpha / 2u) / alpha));
}

// The rest of the stream, `known` bytes long or up to its end; false when it is longer than
// the codec holds.
bool readWhole(ImageStream& stream, uint64_t known, std::vector<uint8_t>& file) {
    if (known != UINT64_MAX) {
        if (known > kMaxFileBytes) return false;
        file.resize(size_t(known));
        file.resize(stream.read(file.data(), 1, file.size()));
        return true;
    }
    while (file.size() <= kMaxFileBytes) {
        const size_t had = file.size();
        file.resize(had + kReadChunk);
        file.resize(had + stream.read(file.data() + had, 1, kReadChunk));
        if (file.size() < had + kReadChunk) return true;
    }
    return false;
}

}  // namespace

// The library's top-down RGB(A) rows into the bottom-up BGR picture and its alpha plane.
void HeifCodec::copyRows(const heif_image* image, bool withAlpha, bool premultiplied) {
    int stride = 0;
    const uint8_t* source = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int32_t w = header.width, h = header.height;
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* in = source + size_t(r) * size_t(stride);
        const int32_t y = h - 1 - r;
        uint8_t* out = row(y);
        if (!withAlpha) {
            for (int32_t x = 0; x < w; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            continue;
        }
        uint8_t* outAlpha = alpha_ + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x, in += 4, out += 3) {
            const uint8_t a = in[3];
            outAlpha[x] = a;
            out[0] = premultiplied ? unpremultiply(in[2], a) : in[2];
            out[1] = premultiplied ? unpremultiply(in[1], a) : in[1];
            out[2] = premultiplied ? unpremultiply(in[0], a) : in[0];
        }
    }
}

bool HeifCodec::decode(ImageStream& stream) {
    const std::string failure =
        std::string("Error reading ") + (info.type == AVIF ? "AVIF" : "HEIF") + " file: ";
    auto fail = [&](const char* why) {
        setLastError((failure + (why ? why : "unknown error")).c_str());
        return false;
    };
    auto failWith = [&](const heif_error& error) {
        // The library's own size limit is the budget's refusal.
        if (error.subcode == heif_suberror_Security_limit_exceeded) {
            setLastError(kDataTooShort);
            return false;
        }
        return fail(error.message);
    };

    try {
        // The library parses from memory: the file is read whole.
        std::vector<uint8_t> file;
        const uint64_t known = bytesLeft(stream);
        if (known != UINT64_MAX && !spendDecodeBudget(known)) return false;
        if (!readWhole(stream, known, file)) return fail("file larger than 256 MB");
        if (known == UINT64_MAX && !spendDecodeBudget(file.size())) return false;

        const uint64_t maxItems = kLeastItems + file.size() / kBytesPerItem;
        const heif_layout::ItemLayout layout = heif_layout::itemLayout(file, maxItems);
        if (layout.items > maxItems) {
            setLastError(kDataTooShort);
            return false;
        }

        Context context(heif_context_alloc());
        if (!context) return fail(kNoMemory);
        heif_context_set_maximum_image_size_limit(context.get(), sideLimit(decodeBudget()));
        heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(),
                                                                      file.size(), nullptr);
        if (error.code != heif_error_Ok) return failWith(error);

        heif_image_handle* rawHandle = nullptr;
        error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
        if (error.code != heif_error_Ok) return failWith(error);
        Handle handle(rawHandle);
        const int64_t primaryArea =
            std::max(int64_t(heif_image_handle_get_width(handle.get())) *
                         heif_image_handle_get_height(handle.get()),
                     int64_t(heif_image_handle_get_ispe_width(handle.get())) *
                         heif_image_handle_get_ispe_height(handle.get()));
        // The library decodes every tile of a grid whole, whatever it shows: tiles whose
        // bitstreams code far more than their share would cost seconds and hundreds of
        // megabytes in a few kilobytes. Padding to 64 x 64 blocks is allowed for.
        if (layout.parts > 0 &&
            layout.partsCodedArea >
                2 * uint64_t(std::max<int64_t>(primaryArea, 0)) + layout.parts * kPaddingPerPart) {
            setLastError(kDataTooShort);
            return false;
        }
        if (Handle thumb = coveringThumbnail(handle.get(), minWidth, minHeight))
            handle = std::move(thumb);

        // The sizes as shown (after rotation and crop) and as coded: a crop may be small while
        // the library still decodes the whole coded picture.
        const int64_t width = heif_image_handle_get_width(handle.get());
        const int64_t height = heif_image_handle_get_height(handle.get());
        if (width <= 0 || height <= 0) return fail("no picture size");
        if (width * height > kMaxPixels) {
            setTooLargeError(width, height);
            return false;
        }
        const int64_t codedWidth = heif_image_handle_get_ispe_width(handle.get());
        const int64_t codedHeight = heif_image_handle_get_ispe_height(handle.get());
        const int64_t codedPixels =
            codedWidth > 0 && codedHeight > 0 ? codedWidth * codedHeight : int64_t(0);
        if (codedPixels > kMaxPixels) {
            setTooLargeError(codedWidth, codedHeight);
            return false;
        }
        const bool withAlpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
        const uint64_t working =
            libraryBytes(uint64_t(std::max(width * height, codedPixels)),
                         heif_image_handle_get_luma_bits_per_pixel(handle.get()), withAlpha);
        // The library's buffers come before our picture, so both are weighed before decoding;
        // create counts the picture again when it is made.
        const uint64_t picture = uint64_t(width) * uint64_t(height) * (withAlpha ? 4 : 3);
        if (!spendDecodeBudget(working + picture)) return false;
        refundDecodeBudget(picture);

        heif_context_set_maximum_image_size_limit(
            context.get(), std::min(sideLimit(decodeBudget()),
                                    codedSideLimit(width, height, codedWidth, codedHeight)));

        Options options(heif_decoding_options_alloc());
        if (!options) return fail(kNoMemory);
        options->convert_hdr_to_8bit = 1;
        const heif_chroma chroma =
            withAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
        heif_image* rawImage = nullptr;
        error =
            heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get());
        if (error.code != heif_error_Ok) return failWith(error);
        Image image(rawImage);

        int stride = 0;
        const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
        const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
        const int channels = withAlpha ? 4 : 3;
        if (!heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride) ||
            w <= 0 || h <= 0 || heif_image_get_chroma_format(image.get()) != chroma ||
            heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != 8 * channels ||
            stride < w * channels)
            return fail("unexpected decoded picture layout");

        // A refused create has said why.
        if (!create(w, h, 24, info.type)) return false;
        if (withAlpha && !alphaCreate()) {
            if (!lastError()[0]) setLastError(kNoMemory);
            return false;
        }
        copyRows(image.get(), withAlpha,
                 withAlpha && heif_image_handle_is_premultiplied_alpha(handle.get()) != 0);
        refundDecodeBudget(working + file.size());
        return true;
    } catch (const std::bad_alloc&) {
        destroy();
        setLastError(kNoMemory);
        return false;
    }
}

bool isHeifSignature(const uint8_t* head, size_t length) {
    return bmffKind(head, length) == BmffKind::Heif;
}

bool isAvifSignature(const uint8_t* head, size_t length) {
    return bmffKind(head, length) == BmffKind::Avif;
}

std::vector<uint8_t> heifExifBlock(const std::string& path) {
    std::vector<uint8_t> block;
    heif_context* context = heif_context_alloc();
    if (!context) return block;
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_file(context, path.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) == 1) {
            const size_t size = heif_image_handle_get_metadata_size(handle, id);
            // A block starts with the big-endian offset of the TIFF header after those 4 bytes.
            if (size > 8 && size <= (size_t(64) << 20)) {
                std::vector<uint8_t> raw(size);
                if (heif_image_handle_get_metadata(handle, id, raw.data()).code == heif_error_Ok) {
                    const uint32_t skip = uint32_t(raw[0]) << 24 | uint32_t(raw[1]) << 16 |
                                          uint32_t(raw[2]) << 8 | raw[3];
                    if (skip < size - 4 - 8) block.assign(raw.begin() + 4 + skip, raw.end());
                }
            }
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return block;
}

bool heifNclx(const std::string& path, int& primaries, int& transfer) {
    bool found = false;
    heif_context* context = heif_context_alloc();
    if (!context) return false;
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_file(context, path.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
            primaries = int(nclx->color_primaries);
            transfer = int(nclx->transfer_characteristics);
            found = true;
        }
        heif_nclx_color_profile_free(nclx);
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return found;
}
