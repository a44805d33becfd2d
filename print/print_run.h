// The pictures printing draws (the preview copy and the print copy) and the print run with its
// questions and messages. The printer and the message boxes are interfaces the dialog fills.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "enhance/photo_edit.h"
#include "print/print_layout.h"
#include "workflow/enhancement_settings.h"
#include "workflow/enhancement_steps.h"

inline constexpr const char* kPagesSetToZero = "Pages set to zero. Nothing to do.";
// printf format with the page count.
inline constexpr const char* kAskPrintPages =
    "ATTENTION:\n\nYou cannot stop printing after it starts.\n\nDo you wish to print %d pages?";
inline constexpr const char* kCannotPrint =
    "ERROR:\n\nCannot print.\n\nIs printer connected?\n\nDoes it have paper?\n\nAre its ink "
    "supplies sufficient?";
inline constexpr const char* kPleaseEnterInteger = "Please enter an integer.";

// The question with the page count filled in.
std::string askPrintPagesText(int32_t pageCount);

// One copy as the page shows it: its size on the page, and the part of it that is kept. Only
// the rows that can fall on the page are made, so a copy of 1000 inches stays page-sized.
struct PrintCopy {
    PhotoEdit picture;  // the kept rows of the copy, a merged 24-bit picture
    int64_t width = 0;  // the copy's full size on the page
    int64_t height = 0;
    int64_t firstRow = 0;  // the row of the copy where picture's top row belongs

    bool isEmpty() const { return width <= 0 || height <= 0 || !picture.image.isValid(); }
};

// Scales merged (a merged picture, consumed) to the height of its fit into boxWidth x
// boxHeight, width from the aspect, with mode 0 (smooth) or 1 (nearest pixel). When the copy
// is taller than pageHeight only the source rows behind the rows that can show (from the top,
// or the middle for a centred copy) are scaled. A fit of no height gives an empty copy.
bool scaleCopy(PhotoEdit& merged, int64_t boxWidth, int64_t boxHeight, int64_t pageHeight,
               bool centred, int mode, PrintCopy& out);

// The preview copy: the editor's final stage with its planes merged (so colour rows and the
// effect show), fitted into (page width x the copy's height on that page), nearest pixel.
bool makePreviewCopy(const PhotoEdit& finalStage, const LayoutRect& page, const PrintValues& values,
                     const PrinterPage& printer, PrintCopy& out);

// The print copy: the photo read again at full resolution with the settings applied and the
// planes merged, exactly as "save current >" writes it, then fitted into (page width x
// printHeightPixels), smooth. False when the photo cannot be read.
bool makePrintCopy(const std::string& path, const EnhancementSettings& settings, StatusSink* sink,
                   const PrintValues& values, const PrinterPage& printer, PrintCopy& out,
                   const CropRect& crop = {});

// The checks "save current >" makes ("No selected image.", "Cannot locate file.", "Cannot read
// file.") and then makePrintCopy: the message to show, or nullptr when out is ready.
const char* preparePrintCopy(const std::string& path, const EnhancementSettings& settings,
                             StatusSink* sink, const PrintValues& values,
                             const PrinterPage& printer, PrintCopy& out, const CropRect& crop = {});

// The message boxes of the print run.
class PrintPrompts {
  public:
    virtual ~PrintPrompts() = default;
    // A box with an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // Yes and No; true only for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
};

// The printer's document and page calls.
class PrintDevice {
  public:
    virtual ~PrintDevice() = default;
    virtual bool startDocument(const std::string& name) = 0;
    virtual bool startPage() = 0;
    virtual void drawPage() = 0;
    virtual bool endPage() = 0;
    virtual void endDocument() = 0;
};

enum class PrintOutcome {
    kNothingToDo,     // no pages: told so
    kDeclined,        // the user did not confirm several pages
    kNoPicture,       // the photo is missing or unreadable: told so, nothing sent
    kCannotStart,     // the document did not start: told so, nothing sent
    kPageNotStarted,  // a page did not start: told so, the document ended
    kPageNotEnded,    // a page did not end: the document ended silently
    kPrinted,
};

struct PrintRunResult {
    PrintOutcome outcome = PrintOutcome::kNothingToDo;
    int32_t pagesDrawn = 0;
};

// "Print": asks, prepares the picture (preparePicture returns the message to show when it
// cannot, nullptr when ready; it is called only when copies are wanted), then sends
// pageCount identical pages. A page count below 1 is treated as zero.
PrintRunResult runPrint(const PrintValues& values, const std::string& documentName,
                        const std::function<const char*()>& preparePicture, PrintPrompts& prompts,
                        PrintDevice& device);
