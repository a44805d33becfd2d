// The shared thumbnail cache: file names and stamps, the PNG files with their text keys
// (libpng), atomic writes, and the lookup-or-make of the thumbnail view.
#include "browse/thumbnail_cache.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "browse/md5.h"
#include "browse/thumbnail_maker.h"
#include "metadata/embedded_preview.h"
#include "metadata/photo_metadata.h"

#ifndef VFX_VERSION
#define VFX_VERSION "0"
#endif

namespace fs = std::filesystem;

namespace thumbnails {

namespace {

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kSizeKey = "Thumb::Size";
constexpr const char* kWidthKey = "Thumb::Image::Width";
constexpr const char* kHeightKey = "Thumb::Image::Height";
// Other programs' thumbnails are read only up to this side; the largest flavour is 1024.
constexpr png_uint_32 kMaxReadSide = 4096;

bool keptInUri(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-_.!~*'()/:@&=+$,", c) != nullptr && c != 0;
}

// A whole decimal number, or false.
bool parseInteger(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

// --- reading a cache PNG ---

struct PngRead {
    DibImage image;
    std::map<std::string, std::string> text;
};

void collectText(png_structp png, png_infop info, std::map<std::string, std::string>& out) {
    png_textp entries = nullptr;
    int count = 0;
    png_get_text(png, info, &entries, &count);
    for (int i = 0; i < count; ++i)
        if (entries[i].key && entries[i].text)
            out[entries[i].key] =
                std::string(entries[i].text, entries[i].itxt_length ? entries[i].itxt_length
                                                                    : entries[i].text_length);
}

// Reads path into a 24-bit picture; transparency is laid over white, the ground of the views.
bool readPng(const std::string& path, PngRead& out) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_infop endInfo = info ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> rows;
    std::vector<png_bytep> rowPointers;
    if (!info || !endInfo || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, endInfo ? &endInfo : nullptr);
        out.image.destroy();
        return false;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxReadSide || height > kMaxReadSide)
        png_error(png, "thumbnail too large");
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    if (channels != 3 && channels != 4) png_error(png, "unexpected channels");
    const size_t rowBytes = png_get_rowbytes(png, info);
    rows.resize(rowBytes * height);
    rowPointers.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rowPointers[y] = rows.data() + y * rowBytes;
    png_read_image(png, rowPointers.data());
    png_read_end(png, endInfo);
    collectText(png, info, out.text);
    collectText(png, endInfo, out.text);
    png_destroy_read_struct(&png, &info, &endInfo);

    if (!out.image.create(int32_t(width), int32_t(height), 24, PNG)) return false;
    for (png_uint_32 y = 0; y < height; ++y) {
        const uint8_t* src = rowPointers[y];
        uint8_t* dst = out.image.row(int32_t(height - 1 - y));  // bottom-up rows
        if (channels == 3) {
            std::memcpy(dst, src, size_t(width) * 3);
            continue;
        }
        for (png_uint_32 x = 0; x < width; ++x, src += 4, dst += 3) {
            const unsigned a = src[3];
            for (int c = 0; c < 3; ++c)
                dst[c] = uint8_t((src[c] * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return true;
}

// Whether the keys of a cache file say it belongs to the file as stamp describes it.
bool matchesStamp(const std::map<std::string, std::string>& text, const SourceStamp& stamp) {
    const auto uri = text.find(kUriKey);
    const auto mtime = text.find(kMTimeKey);
    int64_t value = 0;
    if (uri == text.end() || uri->second != stamp.uri) return false;
    if (mtime == text.end() || !parseInteger(mtime->second, value) || value != stamp.mtime)
        return false;
    const auto size = text.find(kSizeKey);
    if (size != text.end() && (!parseInteger(size->second, value) || value != stamp.size))
        return false;
    return true;
}

// --- writing ---

// The libpng part of a write, with nothing but plain pointers in reach of its longjmp.
bool encodeRows(FILE* file, png_uint_32 width, png_uint_32 height, png_bytep* rows, png_text* text,
                int textCount) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    // Thumbnails are small and written in bulk: light compression is nearly as small and
    // several times faster.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_text(png, info, text, textCount);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encodePng(FILE* file, const DibImage& image,
               const std::vector<std::pair<std::string, std::string>>& keys) {
    std::vector<png_text> text(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        text[i].compression = PNG_TEXT_COMPRESSION_NONE;
        text[i].key = const_cast<char*>(keys[i].first.c_str());
        text[i].text = const_cast<char*>(keys[i].second.c_str());
        text[i].text_length = keys[i].second.size();
    }
    std::vector<png_bytep> rows(size_t(image.height()));
    for (int32_t y = 0; y < image.height(); ++y)
        rows[size_t(y)] = image.row(image.height() - 1 - y);
    return encodeRows(file, png_uint_32(image.width()), png_uint_32(image.height()), rows.data(),
                      text.data(), int(text.size()));
}

int32_t fittedSide(int64_t side, int64_t longer, int32_t pixels) {
    return int32_t(std::max<int64_t>(1, (side * pixels + longer / 2) / longer));
}

}  // namespace

int cacheFlavourByName(const std::string& name) {
    for (int i = 0; i < kCacheFlavourCount; ++i)
        if (name == kCacheFlavours[i].folder) return i;
    return -1;
}

std::string fileUri(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(path), error);
    if (error) absolute = fs::path(path);
    std::string normal = absolute.lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : normal) {
        if (keptInUri(c)) {
            uri += char(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

bool stampOf(const std::string& path, SourceStamp& stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    stamp.path = (error ? fs::path(path) : absolute).lexically_normal().string();
    stamp.uri = fileUri(stamp.path);
    stamp.mtime = int64_t(st.st_mtime);
    stamp.size = int64_t(st.st_size);
    return true;
}

ThumbnailCache::ThumbnailCache(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string ThumbnailCache::userRoot() {
    // XDG base directories: a relative XDG_CACHE_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/thumbnails";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/thumbnails";
    return "";
}

std::shared_ptr<const ThumbnailCache> ThumbnailCache::forUser() {
    static const std::shared_ptr<const ThumbnailCache> cache = [] {
        const std::string root = userRoot();
        return root.empty() ? nullptr : std::make_shared<const ThumbnailCache>(root);
    }();
    return cache;
}

std::string ThumbnailCache::thumbnailPath(const std::string& uri, int flavour) const {
    return root_ + "/" + kCacheFlavours[flavour].folder + "/" + md5Hex(uri) + ".png";
}

std::string ThumbnailCache::failurePath(const std::string& uri) const {
    return root_ + "/fail/vantifex-" VFX_VERSION "/" + md5Hex(uri) + ".png";
}

bool ThumbnailCache::holds(const std::string& absolutePath) const {
    return absolutePath.size() > root_.size() &&
           absolutePath.compare(0, root_.size(), root_) == 0 && absolutePath[root_.size()] == '/';
}

bool ThumbnailCache::lookup(const SourceStamp& stamp, int flavour, CachedThumbnail& out) const {
    PngRead read;
    if (!readPng(thumbnailPath(stamp.uri, flavour), read) || !matchesStamp(read.text, stamp))
        return false;
    const int32_t tw = read.image.width(), th = read.image.height();
    int64_t w = 0, h = 0;
    const auto width = read.text.find(kWidthKey), height = read.text.find(kHeightKey);
    if (width != read.text.end() && height != read.text.end() && parseInteger(width->second, w) &&
        parseInteger(height->second, h) && w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
        // Programs differ in whether they give the stored or the upright size; the
        // thumbnail's own shape says which way round it is.
        const double shape = double(tw) / th;
        if (std::abs(double(h) / w - shape) < std::abs(double(w) / h - shape)) std::swap(w, h);
    } else {
        w = tw;
        h = th;
    }
    out.image = std::move(read.image);
    out.sourceWidth = int32_t(w);
    out.sourceHeight = int32_t(h);
    return true;
}

bool ThumbnailCache::failed(const SourceStamp& stamp) const {
    PngRead read;
    return readPng(failurePath(stamp.uri), read) && matchesStamp(read.text, stamp);
}

bool ThumbnailCache::ensureFolder(const std::string& folder) const {
    // Every folder made on the way is private: thumbnails show what the user's photos hold.
    std::string partial;
    size_t from = 1;
    for (;;) {
        const size_t slash = folder.find('/', from);
        partial = folder.substr(0, slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ThumbnailCache::writePng(const std::string& folder, const std::string& name,
                              const SourceStamp& stamp, const DibImage& image, int32_t sourceWidth,
                              int32_t sourceHeight) const {
    if (!ensureFolder(folder)) return false;
    std::vector<std::pair<std::string, std::string>> keys = {
        {kUriKey, stamp.uri},
        {kMTimeKey, std::to_string(stamp.mtime)},
        {kSizeKey, std::to_string(stamp.size)},
        {"Software", "Vantifex " VFX_VERSION}};
    if (sourceWidth > 0 && sourceHeight > 0) {
        keys.emplace_back(kWidthKey, std::to_string(sourceWidth));
        keys.emplace_back(kHeightKey, std::to_string(sourceHeight));
    }
    // A temporary of our own in the same folder (mkstemp makes it 0600), renamed over the
    // final name: readers and other writers only ever see whole files.
    std::string temporary = folder + "/" + name + ".vantifex-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    ::fchmod(fd, 0600);
    FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    bool ok = encodePng(file, image, keys);
    ok = (std::fflush(file) == 0) && ok;
    ok = (std::fclose(file) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), (folder + "/" + name).c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

bool ThumbnailCache::store(const SourceStamp& stamp, int flavour,
                           const CachedThumbnail& thumbnail) const {
    if (thumbnail.image.bitCount() != 24 || thumbnail.image.height() <= 0) return false;
    return writePng(root_ + "/" + kCacheFlavours[flavour].folder, md5Hex(stamp.uri) + ".png", stamp,
                    thumbnail.image, thumbnail.sourceWidth, thumbnail.sourceHeight);
}

bool ThumbnailCache::storeFailure(const SourceStamp& stamp) const {
    DibImage pixel(1, 1, 24, PNG);
    const std::string path = failurePath(stamp.uri);
    const size_t slash = path.rfind('/');
    return writePng(path.substr(0, slash), path.substr(slash + 1), stamp, pixel, 0, 0);
}

bool ThumbnailCache::make(const std::string& path, uint32_t type, int flavour, bool reduced,
                          CachedThumbnail& out) {
    const int32_t pixels = kCacheFlavours[flavour].pixels;
    PhotoMetadata metadata;
    DibImage& image = out.image;
    // A reduced JPEG is smaller than the photo: its frame header has the real size, as stored.
    int32_t width = 0, height = 0;
    const bool framed = reduced && type == JPEG && jpegFrameSize(path, width, height);
    // A camera's JPEG often carries a thumbnail large enough for the smaller flavours.
    bool loaded = framed &&
                  embeddedPreview(metadata = readMetadata(path), width, height, pixels, image) &&
                  orientUpright(image, metadata.orientation);
    if (!loaded) {
        // The metadata read for the preview is not read again.
        const PhotoMetadata* known = framed ? &metadata : nullptr;
        PhotoMetadata read;
        loaded = reduced ? loadUpright(image, path, type, &read, pixels, pixels, nullptr, known)
                         : loadUpright(image, path, type, &read);
        metadata = std::move(read);
        if (!loaded || image.height() <= 0) {
            image.destroy();
            return false;
        }
        if (!framed) {
            width = image.width();
            height = image.height();
        }
    }
    if (framed && swapsSides(metadata.orientation)) std::swap(width, height);
    const auto colour = displayColour(metadata);
    bool converted = false;
    if (image.bitCount() != 24) {
        // A paletted picture has its colour table converted, as the view's own thumbnails do,
        // before it becomes 24-bit.
        if (colour) converted = colour->convertImage(image);
        DibImage full(image.width(), image.height(), 24, image.type());
        if (!image.writeColoursInto(full)) return false;
        image = std::move(full);
    }
    // The longer side becomes the flavour's size; a smaller photo is kept at its own size.
    const int64_t longer = std::max(width, height);
    if (longer > pixels) {
        const int32_t w = fittedSide(width, longer, pixels);
        const int32_t h = fittedSide(height, longer, pixels);
        if ((w != image.width() || h != image.height()) && !image.resample(w, h, 1)) return false;
    } else if (image.width() != width || image.height() != height) {
        if (!image.resample(width, height, 1)) return false;
    }
    if (colour && !converted) colour->convertImage(image);
    out.sourceWidth = width;
    out.sourceHeight = height;
    return true;
}

CacheOutcome ensureCached(const ThumbnailCache& cache, const std::string& path, uint32_t type,
                          int flavour, bool reduced) {
    SourceStamp stamp;
    if (!stampOf(path, stamp)) return CacheOutcome::Failed;
    CachedThumbnail found;
    if (cache.lookup(stamp, flavour, found)) return CacheOutcome::AlreadyCached;
    if (cache.failed(stamp)) return CacheOutcome::Failed;
    CachedThumbnail made;
    if (!ThumbnailCache::make(path, type, flavour, reduced, made)) {
        cache.storeFailure(stamp);
        return CacheOutcome::Failed;
    }
    cache.store(stamp, flavour, made);
    return CacheOutcome::Made;
}

namespace {

// Whether a cached thumbnail can give the view's thumbnail of size target without growing:
// it is at least that large, or it is the whole photo.
bool covers(const CachedThumbnail& c, const ThumbnailSize& target) {
    if (c.image.width() >= target.width && c.image.height() >= target.height) return true;
    return c.image.width() == c.sourceWidth && c.image.height() == c.sourceHeight;
}

bool scaleForView(CachedThumbnail& c, int32_t t, DibImage& image) {
    const ThumbnailSize target = thumbnailSize(c.sourceWidth, c.sourceHeight, t);
    if (!c.image.resample(target.width, target.height, 1)) return false;
    image = std::move(c.image);
    return true;
}

}  // namespace

bool cachedThumbnail(const ThumbnailCache* cache, const std::string& path, uint32_t type, int32_t t,
                     bool reduced, DibImage& image) {
    const int largest = kCacheFlavours[kCacheFlavourCount - 1].pixels;
    SourceStamp stamp;
    if (!cache || t <= 0 || t > largest || !stampOf(path, stamp) || cache->holds(stamp.path))
        return makeThumbnail(path, type, t, reduced, image);
    int first = 0;
    while (kCacheFlavours[first].pixels < t) ++first;
    for (int f = first; f < kCacheFlavourCount; ++f) {
        CachedThumbnail found;
        if (!cache->lookup(stamp, f, found)) continue;
        if (covers(found, thumbnailSize(found.sourceWidth, found.sourceHeight, t)))
            return scaleForView(found, t, image);
    }
    if (cache->failed(stamp)) {
        image.destroy();
        return false;
    }
    for (int f = first; f < kCacheFlavourCount; ++f) {
        CachedThumbnail made;
        if (!ThumbnailCache::make(path, type, f, reduced, made)) {
            cache->storeFailure(stamp);
            image.destroy();
            return false;
        }
        cache->store(stamp, f, made);
        // A panorama may need a larger flavour than its height asks for.
        if (covers(made, thumbnailSize(made.sourceWidth, made.sourceHeight, t)))
            return scaleForView(made, t, image);
    }
    return makeThumbnail(path, type, t, reduced, image);
}

}  // namespace thumbnails
