// The page arithmetic of printing: unit conversions, the gap, the grid of copies with the
// examples of the print layout (a 600 dpi printer, a 4800 x 6600 page), the preview page, and
// the value boxes' integer reading and wrapping spin buttons.
#include "print/print_layout.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr PrinterPage k600{4800, 6600, 600, 600};

PrintValues values(int32_t images, bool border = false, bool center = false) {
    PrintValues v;
    v.imagesPerPage = images;
    v.border = border;
    v.center = center;
    return v;
}

TEST(PrintLayout, HeightInPrinterPixels) {
    struct Case {
        int32_t height, unit, dpi;
        int64_t pixels;
    } cases[] = {
        {2, kUnitInches, 600, 1200},
        {5, kUnitCm, 600, 1181},  // truncate(5 x 600 / 2.54)
        {1, kUnitInches, 600, 600},
        {3, 7, 600, 1800},  // an unknown unit counts as inches
        {0, kUnitInches, 600, 0},
        {1000, kUnitInches, 1200, 1200000},
        {1000, kUnitCm, 1200, 472440},
        // Typed heights beyond the spin range do not overflow.
        {std::numeric_limits<int32_t>::max(), kUnitInches, 1200, 2147483647LL * 1200},
    };
    for (const Case& c : cases) {
        PrintValues v;
        v.imageHeight = c.height;
        v.heightUnit = c.unit;
        EXPECT_EQ(printHeightPixels(v, c.dpi), c.pixels) << c.height << " unit " << c.unit;
    }
    EXPECT_EQ(pixelsPerCm(600), 236);
    EXPECT_EQ(pixelsPerCm(0), 0);
}

TEST(PrintLayout, BorderGapIsAQuarterCentimetreInPageUnits) {
    EXPECT_EQ(borderGap(values(6, true), 6600, k600), 59);
    EXPECT_EQ(borderGap(values(6, false), 6600, k600), 0);
    // On a preview page 330 units high: 236 x 330 / (6600 x 4).
    EXPECT_EQ(borderGap(values(6, true), 330, k600), 2);
    // A centred single copy has no gap; with two copies "Center" is ignored.
    EXPECT_EQ(borderGap(values(1, true, true), 6600, k600), 0);
    EXPECT_EQ(borderGap(values(2, true, true), 6600, k600), 59);
    // No printer page: nothing is divided by its empty height.
    EXPECT_EQ(borderGap(values(6, true), 6600, PrinterPage{}), 0);
}

struct CellCase {
    const char* name;
    PrintValues values;
    int64_t width, height;
    std::vector<std::pair<int64_t, int64_t>> topLefts;
};

TEST(PrintLayout, CellsOfTheCopies) {
    const LayoutRect page{0, 0, 4800, 6600};
    // clang-format off
    const CellCase cases[] = {
        {"6 copies", values(6), 1600, 1200,
         {{0, 0}, {1600, 0}, {3200, 0}, {0, 1200}, {1600, 1200}, {3200, 1200}}},
        // The third across would end at 59 + 3 x 1659 - 59 = 4977 > 4800.
        {"6 copies with border", values(6, true), 1600, 1200,
         {{59, 59}, {1718, 59}, {59, 1318}, {1718, 1318}, {59, 2577}, {1718, 2577}}},
        {"centred", values(1, false, true), 1600, 1200, {{1600, 2700}}},
        {"centred with border", values(1, true, true), 1600, 1200, {{1600, 2700}}},
        {"Center ignored for 2", values(2, false, true), 1600, 1200, {{0, 0}, {1600, 0}}},
        {"single at the corner", values(1), 1600, 1200, {{0, 0}}},
        {"no copies", values(0), 1600, 1200, {}},
        {"negative copies", values(-3), 1600, 1200, {}},
        {"empty picture", values(6), 0, 0, {}},
        // Wider than the page: one copy per row.
        {"wider than the page", values(3), 5000, 100, {{0, 0}, {0, 100}, {0, 200}}},
        // Rows below the page are left out: 6600 / 2000 gives 4 rows that start on it.
        {"rows below the page", values(20), 4800, 2000, {{0, 0}, {0, 2000}, {0, 4000}, {0, 6000}}},
    };
    // clang-format on
    for (const CellCase& c : cases) {
        const std::vector<LayoutRect> cells =
            copyCells(c.values, page, c.width, c.height, borderGap(c.values, 6600, k600));
        ASSERT_EQ(cells.size(), c.topLefts.size()) << c.name;
        for (size_t i = 0; i < cells.size(); ++i) {
            EXPECT_EQ(cells[i].left, c.topLefts[i].first) << c.name << " cell " << i;
            EXPECT_EQ(cells[i].top, c.topLefts[i].second) << c.name << " cell " << i;
            EXPECT_EQ(cells[i].width(), c.width) << c.name;
            EXPECT_EQ(cells[i].height(), c.height) << c.name;
        }
    }
}

TEST(PrintLayout, HugeCopyCountsStopAtThePageBottom) {
    // A typed count of two billion must neither hang nor fill memory.
    const std::vector<LayoutRect> cells = copyCells(values(std::numeric_limits<int32_t>::max()),
                                                    LayoutRect{0, 0, 4800, 6600}, 1600, 1200, 0);
    EXPECT_EQ(cells.size(), 3u * 6u);  // 3 across, rows at 0, 1200, ..., 6000
    EXPECT_EQ(cells.back().top, 6000);
}

TEST(PrintLayout, PreviewPage) {
    // 4800 x 6600 into 198 x 298 (a 200 x 300 client shrunk by a pixel per side) is
    // limited by the width: 198 x 272, centred from the origin.
    EXPECT_EQ(screenPage(k600, 200, 300), (LayoutRect{0, 13, 198, 285}));
    EXPECT_EQ(fitPage(k600, LayoutRect{0, 0, 480, 660}), (LayoutRect{0, 0, 480, 660}));
    // Landscape paper in a tall area.
    EXPECT_EQ(fitPage(PrinterPage{6600, 4800, 600, 600}, LayoutRect{0, 0, 330, 500}),
              (LayoutRect{0, 130, 330, 370}));
    EXPECT_TRUE(screenPage(PrinterPage{}, 200, 300).isEmpty());
    EXPECT_TRUE(screenPage(k600, 0, 0).isEmpty());

    // A 1200-pixel copy on a page drawn 330 high is 60 high; nothing without a printer page.
    EXPECT_EQ(scaledPictureHeight(330, 1200, k600), 60);
    EXPECT_EQ(scaledPictureHeight(330, 1200, PrinterPage{}), 0);
    EXPECT_EQ(scaledPictureHeight(272, 1000LL * 1200, PrinterPage{9600, 13200, 1200, 1200}), 24727);
}

TEST(PrintLayout, ReadingValueBoxes) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        // clang-format off
        {"6", 6}, {" 12 ", 12}, {"+3", 3}, {"-4", -4}, {"0", 0}, {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int32_t>::min()}, {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt}, {"", std::nullopt}, {"  ", std::nullopt},
        {"-", std::nullopt}, {"1.5", std::nullopt}, {"12a", std::nullopt}, {"0x10", std::nullopt},
        // clang-format on
    };
    for (const Case& c : cases) EXPECT_EQ(readInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(PrintLayout, SpinButtonsWrapAtTheirEnds) {
    struct Case {
        std::optional<int32_t> current;
        int steps;
        int32_t minimum, maximum, result;
    } cases[] = {
        {5, 1, 0, 100, 6},     {100, 1, 0, 100, 0},   {0, -1, 0, 100, 100},
        {1000, 1, 0, 1000, 0}, {95, 10, 0, 100, 4},   {std::nullopt, 1, 0, 100, 1},
        {500, 1, 0, 100, 0},   {-7, -1, 0, 100, 100}, {3, -2, 0, 100, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wrapSpin(c.current, c.steps, c.minimum, c.maximum), c.result)
            << c.current.value_or(-999) << " by " << c.steps;
}

}  // namespace
