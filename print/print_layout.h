// The print dialog's page arithmetic: unit conversions, the page as drawn in the preview, the
// gap between copies and the grid of copies on a page. Plain 64-bit integer arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values of the print dialog.
enum HeightUnit : int32_t { kUnitInches = 0, kUnitCm = 1 };

struct PrintValues {
    int32_t imagesPerPage = 1;
    int32_t pageCount = 1;
    int32_t imageHeight = 1;
    int32_t heightUnit = kUnitInches;
    bool border = false;
    bool center = false;

    // "Center" counts only for a single copy.
    bool centred() const { return imagesPerPage == 1 && center; }
    friend bool operator==(const PrintValues&, const PrintValues&) = default;
};

// What is read from the printer: the printable page in device pixels and the pixels per inch.
struct PrinterPage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t dpiX = 0;
    int32_t dpiY = 0;

    // Nothing can be laid out (or printed) on an empty page.
    bool isEmpty() const { return width <= 0 || height <= 0 || dpiX <= 0 || dpiY <= 0; }
};

struct LayoutRect {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;   // exclusive
    int64_t bottom = 0;  // exclusive

    int64_t width() const { return right - left; }
    int64_t height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// The height of one copy in printer pixels: imageHeight inches, or truncated cm (any unit
// other than cm counts as inches).
int64_t printHeightPixels(const PrintValues& values, int32_t dpiY);
// Whole printer pixels in a centimetre.
int64_t pixelsPerCm(int32_t dpiY);

// The page's proportions fitted into area, centred; the centring is counted from (0, 0), not
// from the area's own top-left corner. Empty for an empty page.
LayoutRect fitPage(const PrinterPage& page, const LayoutRect& area);
// The page as the preview draws it: fitted into the client area shrunk by a pixel per side.
LayoutRect screenPage(const PrinterPage& page, int32_t clientWidth, int32_t clientHeight);

// The height a copy takes on a page drawn `pageHeight` units high: printHeight scaled from
// printer pixels to those units (0 for an empty printer page).
int64_t scaledPictureHeight(int64_t pageHeight, int64_t printHeight, const PrinterPage& printer);

// A quarter centimetre in the units of a page drawn `pageHeight` units high, when "Border" is
// set and the copy is not centred; otherwise 0.
int64_t borderGap(const PrintValues& values, int64_t pageHeight, const PrinterPage& printer);

// The cells of the copies, in drawing order: rows from the first cell, a new row whenever the
// next cell would end beyond the page's right edge. Cells starting below the page's bottom
// are left out (they would be cut off whole). Empty for no copies or an empty picture.
std::vector<LayoutRect> copyCells(const PrintValues& values, const LayoutRect& page,
                                  int64_t pictureWidth, int64_t pictureHeight, int64_t gap);

// The text of a value box read as a 32-bit integer: optional blanks and sign around decimal
// digits. Nothing for any other text or a number out of range.
std::optional<int32_t> readInteger(const std::string& text);

// A spin button's step: current moved by steps, wrapping around at the range's ends. Text that
// is no integer counts as the minimum; a value outside the range is brought into it first.
int32_t wrapSpin(std::optional<int32_t> current, int steps, int32_t minimum, int32_t maximum);
