// The thumbnail grid: layout rows and columns, scroll extent, clicks, marks, rubber band,
// select/unselect all, zoom limits, stale scans and the painted colours.
#include "browse/thumbnail_grid.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<ThumbnailItem> item(int32_t width, int32_t height = 50,
                                    const std::string& path = "") {
    auto it = std::make_unique<ThumbnailItem>();
    if (width > 0) it->image.create(width, height, 24, JPEG);
    it->path = path;
    return it;
}

// A grid of the current scan holding thumbnails of the given widths, paths p0, p1, ...
void fill(ThumbnailGrid& grid, const std::vector<int32_t>& widths) {
    const uint64_t scan = grid.beginScan();
    for (size_t i = 0; i < widths.size(); ++i)
        ASSERT_TRUE(grid.append(scan, item(widths[i], 50, "p" + std::to_string(i))));
}

}  // namespace

TEST(ThumbnailGrid, LayoutTable) {
    struct Pos {
        int32_t x, y;
    };
    const struct {
        const char* name;
        std::vector<int32_t> widths;
        int32_t clientWidth;
        int32_t columns;
        std::vector<Pos> expect;
    } cases[] = {
        // clang-format off
        {"twelve 75 wide in 520", std::vector<int32_t>(12, 75), 520, 5,
         {{10, 10}, {110, 10}, {210, 10}, {310, 10}, {410, 10},
          {10, 75}, {110, 75}, {210, 75}, {310, 75}, {410, 75},
          {10, 140}, {110, 140}}},
        {"a panorama takes two columns", {75, 150, 75, 75, 75}, 520, 5,
         {{10, 10}, {110, 10}, {310, 10}, {410, 10}, {10, 75}}},
        {"a panorama at a row's end closes the row", {75, 75, 75, 75, 150, 75}, 520, 5,
         {{10, 10}, {110, 10}, {210, 10}, {310, 10}, {410, 10}, {10, 75}}},
        {"narrower than one column: one column", {75, 75, 75}, 60, 1,
         {{10, 10}, {10, 75}, {10, 140}}},
        {"no width at all", {75, 75}, 0, 1, {{10, 10}, {10, 75}}},
        {"a photo that did not load takes one step", {75, 0, 75}, 520, 5,
         {{10, 10}, {110, 10}, {210, 10}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        ThumbnailGrid grid;
        fill(grid, c.widths);
        EXPECT_EQ(grid.columns(c.clientWidth), c.columns) << c.name;
        grid.layout(c.clientWidth);
        ASSERT_EQ(grid.items().size(), c.expect.size()) << c.name;
        for (size_t i = 0; i < c.expect.size(); ++i) {
            const SurfaceRect& r = grid.items()[i]->rect;
            EXPECT_EQ(r.left, c.expect[i].x) << c.name << " item " << i;
            EXPECT_EQ(r.top, c.expect[i].y) << c.name << " item " << i;
            EXPECT_EQ(r.right - r.left, c.widths[i]) << c.name << " item " << i;
        }
    }
}

TEST(ThumbnailGrid, ScrollExtent) {
    ThumbnailGrid grid;
    int32_t w = 0, h = 0;
    grid.beginScan();
    grid.scrollExtent(520, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 100);

    fill(grid, std::vector<int32_t>(12, 75));
    grid.layout(520);
    grid.scrollExtent(520, w, h);
    EXPECT_EQ(w, 520);     // 5 columns of 100 and 20
    EXPECT_EQ(h, 3 * 65);  // (12 / 5 + 1) rows

    // Six panoramas in five columns need six rows, more than 6 / 5 + 1.
    fill(grid, std::vector<int32_t>(6, 450));
    grid.layout(520);
    grid.scrollExtent(520, w, h);
    EXPECT_EQ(h, 6 * 65);
}

TEST(ThumbnailGrid, ClicksMarksAndRubberBand) {
    ThumbnailGrid grid;
    fill(grid, std::vector<int32_t>(6, 75));
    grid.layout(520);  // five in the first row, one in the second

    EXPECT_EQ(grid.hitTest(5, 5), -1);  // the margin
    EXPECT_EQ(grid.hitTest(10, 10), 0);
    EXPECT_EQ(grid.hitTest(84, 59), 0);
    EXPECT_EQ(grid.hitTest(85, 10), -1);  // between thumbnails
    EXPECT_EQ(grid.hitTest(110, 10), 1);
    EXPECT_EQ(grid.hitTest(20, 80), 5);

    // An unmarked item becomes current and is marked with markOnClick; its path is loaded.
    EXPECT_EQ(grid.clickItem(1, true), "p1");
    EXPECT_EQ(grid.currentIndex(), 1);
    EXPECT_TRUE(grid.items()[1]->marked);
    // Without markOnClick it becomes current only.
    EXPECT_EQ(grid.clickItem(2, false), "p2");
    EXPECT_EQ(grid.currentIndex(), 2);
    EXPECT_FALSE(grid.items()[2]->marked);
    // A marked item is only unmarked: nothing loads, the current item stays.
    EXPECT_EQ(grid.clickItem(1, true), "");
    EXPECT_FALSE(grid.items()[1]->marked);
    EXPECT_EQ(grid.currentIndex(), 2);

    // The band marks what it touches and keeps other marks.
    grid.items()[5]->marked = true;
    EXPECT_TRUE(grid.markInRect({80, 20, 115, 30}));  // meets items 0 and 1
    std::vector<std::string> selected;
    grid.getSelectedFiles(selected);
    EXPECT_EQ(selected, (std::vector<std::string>{"p0", "p1", "p5"}));
    EXPECT_FALSE(grid.markInRect({86, 61, 109, 74}));  // the gaps only

    grid.selectAll();
    selected.clear();
    grid.getSelectedFiles(selected);
    EXPECT_EQ(selected.size(), 6u);

    // Unselect All keeps the current item's mark; unmarkAll does not.
    grid.unselectAll();
    selected.clear();
    grid.getSelectedFiles(selected);
    EXPECT_EQ(selected, std::vector<std::string>{"p2"});
    grid.unmarkAll();
    selected.clear();
    grid.getSelectedFiles(selected);
    EXPECT_TRUE(selected.empty());
    // An unmarked current item stays unmarked by Unselect All too.
    grid.unselectAll();
    EXPECT_FALSE(grid.items()[2]->marked);
}

TEST(ThumbnailGrid, ZoomOnlyWhenDoneAndNotBelowTen) {
    ThumbnailGrid grid;
    const uint64_t scan = grid.beginScan();
    EXPECT_FALSE(grid.zoomIn());  // scanning
    EXPECT_FALSE(grid.zoomOut());
    EXPECT_EQ(grid.thumbnailHeight(), 50);
    ASSERT_TRUE(grid.finishScan(scan));

    std::vector<int32_t> heights;
    while (grid.zoomOut()) heights.push_back(grid.thumbnailHeight());
    EXPECT_EQ(heights, (std::vector<int32_t>{40, 30, 20, 10}));
    EXPECT_EQ(grid.rowHeight(), 25);
    EXPECT_EQ(grid.columnWidth(), 20);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(grid.zoomIn());  // no upper limit
    EXPECT_EQ(grid.thumbnailHeight(), 210);
}

TEST(ThumbnailGrid, ItemsOfAnEarlierScanAreDropped) {
    ThumbnailGrid grid;
    const uint64_t first = grid.beginScan();
    ASSERT_TRUE(grid.append(first, item(75)));
    const uint64_t second = grid.beginScan();
    EXPECT_TRUE(grid.items().empty());
    EXPECT_FALSE(grid.append(first, item(75)));
    EXPECT_FALSE(grid.finishScan(first));
    EXPECT_FALSE(grid.scanDone());
    EXPECT_STREQ(grid.emptyText(), "Searching directory...");
    EXPECT_TRUE(grid.finishScan(second));
    EXPECT_STREQ(grid.emptyText(), "No photos in selected directory.");
    EXPECT_TRUE(grid.append(second, item(75)));
    EXPECT_STREQ(grid.emptyText(), "");
}

TEST(ThumbnailGrid, PaintsCurrentOliveMarkedFramedBlue) {
    ThumbnailGrid grid;
    const uint64_t scan = grid.beginScan();
    for (int i = 0; i < 3; ++i) {
        auto it = item(20, 50);
        // A grey picture, so every painted colour below is told apart.
        for (int32_t y = 0; y < 50; ++y)
            for (int32_t x = 0; x < 20; ++x)
                it->image.setPixelColor(x, y, RgbQuad{0x80, 0x80, 0x80, 0});
        grid.append(scan, std::move(it));
    }
    grid.clickItem(0, false);
    grid.items()[1]->marked = true;
    Surface surface(320, 100);
    grid.paint(surface, 0, 0);
    EXPECT_EQ(surface.pixelValue(0, 0), 0xFFFFFFu);
    EXPECT_EQ(surface.pixelValue(15, 15), 0x808080u);  // item 0's picture
    EXPECT_EQ(surface.pixelValue(8, 8), 0xC0C000u);    // olive around the current item
    EXPECT_EQ(surface.pixelValue(107, 7), 0x0000C0u);  // the frame of item 1
    EXPECT_EQ(surface.pixelValue(108, 8), 0xFFFFFFu);  // inside the frame
    EXPECT_EQ(surface.pixelValue(207, 7), 0xFFFFFFu);  // item 2: neither
    // Scrolled down by 5 the pictures move up by 5.
    grid.paint(surface, 0, 5);
    EXPECT_EQ(surface.pixelValue(15, 5), 0x808080u);
    EXPECT_EQ(surface.pixelValue(15, 57), 0xC0C000u);
    EXPECT_EQ(surface.pixelValue(15, 58), 0xFFFFFFu);
}

TEST(ThumbnailGrid, StepCurrentGoesInItemOrderAndStopsAtTheEnds) {
    struct Case {
        const char* what;
        int clicked;  // the current item before the step (-1: none)
        std::string shown;
        int step;
        std::string expected;  // the path returned, "" for nothing
        int current;           // the current item afterwards
    };
    const Case cases[] = {
        {"next of the photo shown", -1, "p1", 1, "p2", 2},
        {"previous of the photo shown", -1, "p1", -1, "p0", 0},
        {"the shown photo wins over the current item", 3, "p1", 1, "p2", 2},
        {"past the last: nothing", 1, "p3", 1, "", 1},
        {"before the first: nothing", 2, "p0", -1, "", 2},
        {"a photo from elsewhere: from the current item", 2, "/other/x.jpg", 1, "p3", 3},
        {"nothing shown nor current: next is the first", -1, "", 1, "p0", 0},
        {"nothing shown nor current: previous is the last", -1, "", -1, "p3", 3},
        {"no step", -1, "p1", 0, "", -1},
    };
    for (const Case& c : cases) {
        ThumbnailGrid grid;
        fill(grid, {75, 75, 75, 75});
        if (c.clicked >= 0) {
            ASSERT_EQ(grid.clickItem(c.clicked, false), "p" + std::to_string(c.clicked));
        }
        EXPECT_EQ(grid.stepCurrent(c.shown, c.step), c.expected) << c.what;
        EXPECT_EQ(grid.currentIndex(), c.current) << c.what;
    }
    ThumbnailGrid empty;
    EXPECT_EQ(empty.stepCurrent("", 1), "");
    EXPECT_EQ(empty.stepCurrent("", -1), "");
    EXPECT_EQ(empty.currentIndex(), -1);
}
