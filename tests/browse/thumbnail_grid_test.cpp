// The thumbnail grid: layout rows and columns, scroll extent, clicks, marks, rubber band,
// select/unselect all, zoom limits, stale scans and the painted colours.
#include "browse/thumbnail_grid.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

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

namespace {

// A scan of count waiting cells with file indices 0, 2, 4, ... (the odd files being no
// photos), laid out at 520 wide: five cells a row, 65 high.
uint64_t waitingCells(ThumbnailGrid& grid, size_t count) {
    const uint64_t scan = grid.beginScan();
    for (size_t i = 0; i < count; ++i) grid.addWaiting(2 * i, "p" + std::to_string(2 * i), PNG);
    grid.layout(520);
    return scan;
}

}  // namespace

TEST(ThumbnailGrid, WaitingCellsFilledInTheirPlace) {
    ThumbnailGrid grid;
    const uint64_t scan = waitingCells(grid, 4);
    EXPECT_STREQ(grid.emptyText(), "Searching directory...");
    grid.selectAll();  // nothing shown yet, nothing marked
    std::vector<std::string> selected;
    grid.getSelectedFiles(selected);
    EXPECT_TRUE(selected.empty());
    // Arrival out of order: each thumbnail goes to the cell of its file index.
    EXPECT_TRUE(grid.place(scan, 6, item(150)));
    EXPECT_STREQ(grid.emptyText(), "");
    EXPECT_TRUE(grid.place(scan, 2, item(75)));
    EXPECT_FALSE(grid.place(scan, 3, item(75))) << "no cell for a file that is no photo";
    EXPECT_FALSE(grid.place(scan + 1, 0, item(75))) << "another scan";
    grid.layout(520);
    const int32_t widths[] = {0, 75, 0, 150};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(grid.items()[i]->index, 2 * i);
        EXPECT_EQ(grid.items()[i]->rect.right - grid.items()[i]->rect.left, widths[i]);
        EXPECT_EQ(grid.items()[i]->rect.left, int32_t(10 + 100 * i));
    }
    // A thumbnail made again keeps the cell's mark.
    grid.items()[1]->marked = true;
    EXPECT_TRUE(grid.place(scan, 2, item(60)));
    EXPECT_TRUE(grid.items()[1]->marked);
    EXPECT_EQ(grid.items()[1]->width, 60);
    EXPECT_EQ(grid.pixelBytes(),
              grid.items()[1]->image.totalSize() + grid.items()[3]->image.totalSize());
}

TEST(ThumbnailGrid, BeginScanWithFilesMakesCellsForPhotosOnly) {
    testing_support::TempDir dir;
    const std::string png = dir.file("a.png"), text = dir.file("b.txt"), jpg = dir.file("c.jpg");
    testing_support::writeBytes(text, {'t'});
    testing_support::writeBytes(png, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    testing_support::writeBytes(jpg, {0xFF, 0xD8, 0xFF});
    ThumbnailGrid grid;
    grid.beginScan({png, text, jpg});
    ASSERT_EQ(grid.items().size(), 2u);
    EXPECT_EQ(grid.items()[0]->index, 0u);
    EXPECT_EQ(grid.items()[0]->type, uint32_t(PNG));
    EXPECT_EQ(grid.items()[1]->index, 2u);
    EXPECT_EQ(grid.items()[1]->type, uint32_t(JPEG));
    EXPECT_FALSE(grid.items()[0]->arrived);
}

TEST(ThumbnailGrid, RemovingCellsKeepsTheCurrentOne) {
    const struct {
        const char* name;
        size_t removeIndex;
        bool removed;
        int currentAfter;  // current was position 2 (file index 4)
        std::vector<size_t> left;
    } cases[] = {
        {"before the current", 0, true, 1, {2, 4, 6}},
        {"the current itself", 4, true, -1, {0, 2, 6}},
        {"after the current", 6, true, 2, {0, 2, 4}},
        {"no such cell", 5, false, 2, {0, 2, 4, 6}},
    };
    for (const auto& c : cases) {
        ThumbnailGrid grid;
        const uint64_t scan = waitingCells(grid, 4);
        for (size_t i = 0; i < 4; ++i) grid.place(scan, 2 * i, item(75));
        grid.clickItem(2, false);
        EXPECT_EQ(grid.remove(c.removeIndex), c.removed) << c.name;
        EXPECT_EQ(grid.currentIndex(), c.currentAfter) << c.name;
        std::vector<size_t> left;
        for (const auto& it : grid.items()) left.push_back(it->index);
        EXPECT_EQ(left, c.left) << c.name;
        EXPECT_EQ(grid.pixelBytes(), c.left.size() * grid.items()[0]->image.totalSize());
        EXPECT_EQ(grid.positionOfPath("p6"), c.removeIndex == 6 ? -1 : int(c.left.size()) - 1);
    }
}

TEST(ThumbnailGrid, VisibleRangeOfAScrolledViewport) {
    // 23 cells, five a row: rows at y 10, 75, 140, 205, 270 (the last holds three).
    const struct {
        int32_t y, height;
        size_t first, last;
    } cases[] = {
        {0, 65, 0, 5},                            // the first row; the second starts at 75
        {0, 76, 0, 10},                           // one pixel of the second row
        {74, 1, 0, 5},                            // the last pixel line of the first row's band
        {75, 1, 5, 10},                           // the first of the second's
        {100, 150, 5, 20},                        // rows two to four
        {260, 400, 15, 23}, {1000, 100, 23, 23},  // below everything
    };
    ThumbnailGrid grid;
    waitingCells(grid, 23);
    for (const auto& c : cases) {
        size_t first = 99, last = 99;
        grid.visibleRange(c.y, c.height, first, last);
        EXPECT_EQ(first, c.first) << c.y << "+" << c.height;
        EXPECT_EQ(last, c.last) << c.y << "+" << c.height;
    }
}

TEST(ThumbnailGrid, PixelsKeptNearTheVisibleCells) {
    ThumbnailGrid grid;
    const uint64_t scan = waitingCells(grid, 40);
    for (size_t i = 0; i < 40; ++i) grid.place(scan, 2 * i, item(75));
    const size_t one = grid.items()[0]->image.totalSize();
    ASSERT_EQ(grid.pixelBytes(), 40 * one);
    grid.keepPixelsNear(10, 15, 40 * one);  // within the budget: nothing goes
    EXPECT_EQ(grid.pixelBytes(), 40 * one);
    // Budget of 20: towards 15, the farthest first, but never within two screens (0..25).
    grid.keepPixelsNear(10, 15, 20 * one);
    EXPECT_EQ(grid.pixelBytes(), 25 * one);
    for (size_t i = 0; i < 40; ++i) {
        const ThumbnailItem& it = *grid.items()[i];
        EXPECT_EQ(it.pixelsDropped, i >= 25) << i;
        EXPECT_EQ(it.width, 75) << "the size stays for the layout, " << i;
    }
    grid.layout(520);
    EXPECT_EQ(grid.items()[39]->rect.right - grid.items()[39]->rect.left, 75);
    // Scrolled to them: they are asked for once, the waiting cells separately.
    grid.addWaiting(100, "new", PNG);
    std::vector<size_t> unmade, dropped;
    grid.takeMissing(12, 41, unmade, dropped);
    EXPECT_EQ(unmade, std::vector<size_t>{100});
    ASSERT_EQ(dropped.size(), 15u);
    EXPECT_EQ(dropped.front(), 50u);
    unmade.clear();
    dropped.clear();
    grid.takeMissing(12, 41, unmade, dropped);
    EXPECT_TRUE(dropped.empty());
    EXPECT_TRUE(grid.place(scan, 50, item(75)));
    EXPECT_FALSE(grid.items()[25]->pixelsDropped);
    EXPECT_EQ(grid.pixelBytes(), 26 * one);
    // Far from everything (cells 0..5 on screen): the farthest go first.
    grid.keepPixelsNear(0, 5, 20 * one);
    EXPECT_EQ(grid.pixelBytes(), 15 * one);
    EXPECT_FALSE(grid.items()[14]->pixelsDropped);
    EXPECT_TRUE(grid.items()[15]->pixelsDropped);
}
