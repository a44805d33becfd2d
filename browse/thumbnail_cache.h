// The thumbnail cache shared with the desktop's file managers and viewers (freedesktop.org's
// thumbnail layout): PNG files named by the MD5 of the photo's file:// URI, one folder
// per size, each stamped with the photo's URI and modification time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/dib_image.h"

namespace thumbnails {

// The sizes of the cache: the longer side of a thumbnail, and its folder.
struct CacheFlavour {
    const char* folder;
    int32_t pixels;
};
inline constexpr CacheFlavour kCacheFlavours[] = {
    {"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
inline constexpr int kCacheFlavourCount = 4;
// The index of a flavour by its folder name, or -1.
int cacheFlavourByName(const std::string& name);

// The canonical file:// URI of path: made absolute and normal ("." and ".." gone), every
// byte outside the letters, digits and -_.!~*'()/:@&=+$, written as %XX, as the desktop's
// file managers spell it.
std::string fileUri(const std::string& path);

// What is known of a photo file for the cache: its URI and the stamps a thumbnail must carry.
struct SourceStamp {
    std::string path;  // absolute, normal
    std::string uri;
    int64_t mtime = 0;  // seconds
    int64_t size = 0;   // bytes
};
// False when path cannot be stat'ed (gone, unreadable folder).
bool stampOf(const std::string& path, SourceStamp& stamp);

// A thumbnail read from the cache or made for it: an upright 24-bit picture whose longer side
// is the flavour's size (or the photo itself when that is smaller), in sRGB, and the size of
// the upright photo it shows.
struct CachedThumbnail {
    DibImage image;
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;
};

class ThumbnailCache {
  public:
    // A cache at root (the folder holding normal/, large/, ..., fail/).
    explicit ThumbnailCache(std::string root);
    // $XDG_CACHE_HOME/thumbnails, or $HOME/.cache/thumbnails; "" when neither is set.
    static std::string userRoot();
    // The process's cache at userRoot(), made on first use; null when there is no root.
    static std::shared_ptr<const ThumbnailCache> forUser();

    const std::string& root() const { return root_; }
    // Where the thumbnail of uri is kept in flavour, and where a failure is recorded.
    std::string thumbnailPath(const std::string& uri, int flavour) const;
    std::string failurePath(const std::string& uri) const;
    // Whether path lies inside the cache itself (such files get no thumbnails).
    bool holds(const std::string& absolutePath) const;

    // Reads the thumbnail of stamp in flavour when one is there and belongs to the file as it
    // is now (same URI, modification time and, when written, size); whichever program wrote it.
    bool lookup(const SourceStamp& stamp, int flavour, CachedThumbnail& out) const;
    // Whether a failure to thumbnail the file as it is now is recorded.
    bool failed(const SourceStamp& stamp) const;

    // Writes thumbnail into flavour's folder through a temporary beside it, renamed into place,
    // so a reader never sees half a file; false when it cannot be written.
    bool store(const SourceStamp& stamp, int flavour, const CachedThumbnail& thumbnail) const;
    // Records that the file as it is now gives no thumbnail.
    bool storeFailure(const SourceStamp& stamp) const;

    // Makes the thumbnail of the photo path as type for flavour: a JPEG decoded at the
    // smallest DCT scale that covers it when reduced, turned upright, scaled (nearest pixel,
    // as the view's thumbnails are) and converted to sRGB. False (out left empty) when the
    // photo does not load.
    static bool make(const std::string& path, uint32_t type, int flavour, bool reduced,
                     CachedThumbnail& out);

  private:
    bool ensureFolder(const std::string& folder) const;
    bool writePng(const std::string& folder, const std::string& name, const SourceStamp& stamp,
                  const DibImage& image, int32_t sourceWidth, int32_t sourceHeight) const;

    std::string root_;
};

// What ensureCached found or did.
enum class CacheOutcome { AlreadyCached, Made, Failed };
// Fills the cache for one photo: nothing when a valid thumbnail (or recorded failure) is
// there, else the thumbnail is made and stored (or the failure recorded).
CacheOutcome ensureCached(const ThumbnailCache& cache, const std::string& path, uint32_t type,
                          int flavour, bool reduced = true);

// The thumbnail view's picture of path at thumbnail height t (the size rule of
// thumbnail_maker.h) through cache: the smallest cached flavour that covers it when a valid
// one is there, otherwise made and stored in the smallest flavour that covers it. Without a
// cache, for files inside the cache, or beyond the largest flavour it is makeThumbnail.
bool cachedThumbnail(const ThumbnailCache* cache, const std::string& path, uint32_t type, int32_t t,
                     bool reduced, DibImage& image);

}  // namespace thumbnails
