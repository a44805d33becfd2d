// The two copies of the photo that printing draws, and the print run's order of questions,
// document and page calls.
#include "print/print_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "browse/path_helpers.h"
#include "workflow/photo_saving.h"

std::string askPrintPagesText(int32_t pageCount) {
    char text[160];
    std::snprintf(text, sizeof text, kAskPrintPages, int(pageCount));
    return text;
}

namespace {

int32_t toInt32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

// Keeps the source rows [first, last) counted from the top (a 24-bit picture stored bottom-up).
bool keepRows(DibImage& image, int64_t first, int64_t last) {
    const int32_t W = image.width(), H = image.height();
    const int32_t rows = int32_t(last - first);
    DibImage kept;
    if (!kept.create(W, rows, 24, 0)) return false;
    for (int32_t y = 0; y < rows; ++y)
        std::memcpy(kept.row(y), image.row(int32_t(H - last) + y), size_t(W) * 3);
    image.transfer(kept);
    return true;
}

}  // namespace

bool scaleCopy(PhotoEdit& merged, int64_t boxWidth, int64_t boxHeight, int64_t pageHeight,
               bool centred, int mode, PrintCopy& out) {
    out = PrintCopy();
    const int64_t W = merged.width(), H = merged.height();
    const SurfaceRect fit =
        PhotoEdit::fitRect(int32_t(W), int32_t(H), toInt32(boxWidth), toInt32(boxHeight), false);
    const int64_t fitHeight = fit.bottom - fit.top;
    // A copy of no height prints nothing (it must not stay at the photo's own size).
    if (fitHeight <= 0) return false;
    out.height = fitHeight;
    out.width = int64_t(double(fitHeight * W) / double(H));
    if (out.width <= 0) return false;

    if (fitHeight <= pageHeight || merged.image.bitCount() != 24) {
        if (!merged.resize(0, int32_t(fitHeight), mode)) return false;
    } else {
        // The copy's rows that can fall on the page, then the source rows behind them.
        const int64_t top = centred ? pageHeight / 2 - fitHeight / 2 : 0;
        const int64_t r0 = std::max<int64_t>(0, -top);
        const int64_t r1 = std::min(fitHeight, pageHeight - top);
        const int64_t s0 = r0 * H / fitHeight;
        const int64_t s1 = std::min(H, (r1 * H + fitHeight - 1) / fitHeight);
        if (s1 <= s0) return false;
        const int64_t rows = std::max<int64_t>(1, ((s1 - s0) * fitHeight + H / 2) / H);
        out.firstRow = s0 * fitHeight / H;
        if (!keepRows(merged.image, s0, s1) ||
            !merged.image.resample(toInt32(out.width), toInt32(rows), mode))
            return false;
    }
    out.picture.image.transfer(merged.image);
    out.picture.fileName = merged.fileName;
    return out.picture.image.isValid();
}

bool makePreviewCopy(const PhotoEdit& finalStage, const LayoutRect& page, const PrintValues& values,
                     const PrinterPage& printer, PrintCopy& out) {
    out = PrintCopy();
    PhotoEdit merged;
    merged.fileName = finalStage.fileName;
    if (!merged.combineFilled(finalStage)) return false;
    const int64_t pv =
        scaledPictureHeight(page.height(), printHeightPixels(values, printer.dpiY), printer);
    return scaleCopy(merged, page.width(), pv, page.height(), values.centred(), 1, out);
}

bool makePrintCopy(const std::string& path, const EnhancementSettings& settings, StatusSink* sink,
                   const PrintValues& values, const PrinterPage& printer, PrintCopy& out,
                   const CropRect& crop) {
    out = PrintCopy();
    PhotoEdit merged;
    if (!loadForSaving(path, merged) || !renderForSaving(merged, settings, sink, crop))
        return false;
    // The photo was read; a copy of no size is still a (blank) print.
    scaleCopy(merged, printer.width, printHeightPixels(values, printer.dpiY), printer.height,
              values.centred(), 0, out);
    return true;
}

const char* preparePrintCopy(const std::string& path, const EnhancementSettings& settings,
                             StatusSink* sink, const PrintValues& values,
                             const PrinterPage& printer, PrintCopy& out, const CropRect& crop) {
    if (path.empty()) return kNoSelectedImage;
    if (!paths::fileExists(path)) return kCannotLocateFile;
    if (!makePrintCopy(path, settings, sink, values, printer, out, crop)) return kCannotReadFile;
    return nullptr;
}

PrintRunResult runPrint(const PrintValues& values, const std::string& documentName,
                        const std::function<const char*()>& preparePicture, PrintPrompts& prompts,
                        PrintDevice& device) {
    PrintRunResult result;
    if (values.pageCount < 1) {
        prompts.showMessage(kPagesSetToZero);
        result.outcome = PrintOutcome::kNothingToDo;
        return result;
    }
    if (values.pageCount > 1 && !prompts.askYesNo(askPrintPagesText(values.pageCount))) {
        result.outcome = PrintOutcome::kDeclined;
        return result;
    }
    // The picture is made before anything goes to the printer, so a photo that cannot be read
    // sends no pages of nothing.
    if (values.imagesPerPage > 0 && preparePicture) {
        if (const char* failure = preparePicture()) {
            prompts.showMessage(failure);
            result.outcome = PrintOutcome::kNoPicture;
            return result;
        }
    }
    if (!device.startDocument(documentName)) {
        prompts.showMessage(kCannotPrint);
        result.outcome = PrintOutcome::kCannotStart;
        return result;
    }
    result.outcome = PrintOutcome::kPrinted;
    for (int32_t page = 0; page < values.pageCount; ++page) {
        if (!device.startPage()) {
            prompts.showMessage(kCannotPrint);
            result.outcome = PrintOutcome::kPageNotStarted;
            break;
        }
        device.drawPage();
        ++result.pagesDrawn;
        if (!device.endPage()) {
            result.outcome = PrintOutcome::kPageNotEnded;
            break;
        }
    }
    device.endDocument();
    return result;
}
