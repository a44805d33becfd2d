// The state of a thumbnail view without its window: the items of the current scan, their
// grid layout, marks, the current item, zoom and painting onto a surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "image/surface.h"

// One photo shown by a thumbnail view.
struct ThumbnailItem {
    SurfaceRect rect;  // where it was last laid out, in view coordinates
    uint32_t type = 0;
    std::string path;
    DibImage image;  // the scaled thumbnail; empty when the photo did not load
    bool marked = false;
    // The grid's own bookkeeping: the photo's index in the worker's file list, whether its
    // thumbnail came (a cell waiting for it is laid out and drawn as an empty one), the
    // thumbnail's size (kept when its pixels are let go) and whether they were.
    size_t index = 0;
    bool arrived = false;
    bool pixelsDropped = false;
    bool remakeAsked = false;
    int32_t width = 0;
    int32_t height = 0;
};

class ThumbnailGrid {
  public:
    static constexpr int32_t kDefaultHeight = 50;
    static constexpr int32_t kZoomStep = 10;
    static constexpr int32_t kMargin = 10;    // pen start, left and top
    static constexpr int32_t kHighlight = 3;  // current fill and mark frame around a thumbnail

    // Pixels of thumbnails far from the visible ones are let go beyond this many bytes.
    static constexpr size_t kPixelBudget = size_t(100) << 20;

    static constexpr const char* kSearchingText = "Searching directory...";
    static constexpr const char* kNoPhotosText = "No photos in selected directory.";

    int32_t thumbnailHeight() const { return thumbnailHeight_; }
    int32_t rowHeight() const { return thumbnailHeight_ + 15; }
    int32_t columnWidth() const { return 2 * thumbnailHeight_; }
    void setThumbnailHeight(int32_t height) { thumbnailHeight_ = height; }

    // --- scans ---
    // Starts a new scan: its number is returned; items, current item and done state clear.
    uint64_t beginScan();
    // Starts a new scan with a waiting cell for every photo of files (browse/photo_rule.h),
    // its index that of the file; the thumbnails then arrive through place.
    uint64_t beginScan(const std::vector<std::string>& files);
    // Appends a thumbnail of scan; false (the item dropped) when it is of an earlier scan.
    bool append(uint64_t scan, std::unique_ptr<ThumbnailItem> item);
    // Puts the thumbnail of file index into its cell (its mark stays); false (the item
    // dropped) when it is of an earlier scan or the cell is gone.
    bool place(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item);

    // --- the folder changing under the view ---
    // A waiting cell at the end for a photo that appeared; index exceeds every other.
    void addWaiting(size_t index, std::string path, uint32_t type);
    // The file of index is now path (its thumbnail stays); false when there is no such cell.
    bool renameCell(size_t index, std::string path);
    // Removes the cell of file index; false when there is none.
    bool remove(size_t index);
    // The position in items of the cell of file index, or -1.
    int positionOf(size_t index) const;
    // The position of the cell showing path, or -1.
    int positionOfPath(const std::string& path) const;

    // --- what is on screen, and the pixels kept ---
    // The positions [first, last) of the cells whose rows meet the band of the given height
    // from y (view coordinates; layout ran before).
    void visibleRange(int32_t y, int32_t height, size_t& first, size_t& last) const;
    // Of the cells in [first, last): the file indices whose thumbnail has not come yet
    // (unmade), and those whose pixels were let go and not yet asked for again (dropped;
    // they count as asked for from now on).
    void takeMissing(size_t first, size_t last, std::vector<size_t>& unmade,
                     std::vector<size_t>& dropped);
    // When the thumbnails hold more than budget bytes, lets go of the pixels of the ones
    // farthest from [first, last) until they hold at most three quarters of it; the cells
    // within two screens of it keep theirs.
    void keepPixelsNear(size_t first, size_t last, size_t budget = kPixelBudget);
    // The bytes the thumbnails' pixels hold.
    size_t pixelBytes() const { return pixelBytes_; }
    // Marks scan as done; false when it is not the current scan.
    bool finishScan(uint64_t scan);
    uint64_t scan() const { return scan_; }
    bool scanDone() const { return scanDone_; }

    // --- zoom: allowed only once the scan is done; the caller then loads the folder again ---
    bool zoomIn();
    bool zoomOut();

    // --- layout ---
    // Columns for a client width: width / column width, at least one.
    int32_t columns(int32_t clientWidth) const;
    // Places every item (its rect), row after row; a wide thumbnail takes several columns.
    void layout(int32_t clientWidth);
    // The scrollable size for the current items and client width.
    void scrollExtent(int32_t clientWidth, int32_t& width, int32_t& height) const;

    // --- clicks and marks ---
    // The first item whose rect holds (x, y) (view coordinates), or -1.
    int hitTest(int32_t x, int32_t y) const;
    // A left click on item index: a marked item is unmarked; an unmarked one becomes current
    // (and marked with markOnClick) and its path is returned for loading; else empty.
    std::string clickItem(int index, bool markOnClick);
    // Marks every item whose rect meets band (view coordinates); true when one was marked.
    bool markInRect(const SurfaceRect& band);
    void selectAll();
    // Unmarks every item except the current one, whose mark stays as it is.
    void unselectAll();
    void unmarkAll();
    // The paths of the marked items, appended in item order.
    void getSelectedFiles(std::vector<std::string>& out) const;

    // Next and previous photo: the item step places (1 next, -1 previous) from the one whose
    // path is path, or from the current item when none has it; with neither, the first (a
    // step forward) or the last item. It becomes the current item and its path is returned;
    // past either end nothing changes and the result is empty.
    std::string stepCurrent(const std::string& path, int step);

    const std::vector<std::unique_ptr<ThumbnailItem>>& items() const { return items_; }
    int currentIndex() const { return current_; }

    // The text shown instead of thumbnails ("" when there are items).
    const char* emptyText() const;
    // Lays out for the surface's width and paints the items scrolled by (scrollX, scrollY):
    // white ground, the current item on an olive field, marked ones framed in dark blue.
    void paint(Surface& surface, int32_t scrollX, int32_t scrollY);

  private:
    int32_t thumbnailHeight_ = kDefaultHeight;
    std::vector<std::unique_ptr<ThumbnailItem>> items_;
    int current_ = -1;
    uint64_t scan_ = 0;
    size_t arrived_ = 0;     // items whose thumbnail came
    size_t pixelBytes_ = 0;  // held by the items' images
    bool scanDone_ = true;   // before the first folder nothing is being searched
};
