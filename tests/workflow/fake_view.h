// A stand-in for the main window and the two image views: it records statuses, titles,
// repaints and the hourglass so that the workflow can be tested without a display.
#pragma once

#include <string>
#include <vector>

#include "workflow/preview_chain.h"

class FakeView : public PreviewView {
  public:
    ClientSize enhanced{500, 500};
    ClientSize original{300, 300};
    std::vector<std::string> statuses;  // every text drawn, "" included
    std::vector<std::string> titles;    // every title set
    std::string currentTitle;
    int enhancedRepaints = 0;
    int originalRepaints = 0;
    int waitDepth = 0;
    int maxWaitDepth = 0;

    ClientSize enhancedClientSize() const override { return enhanced; }
    ClientSize originalClientSize() const override { return original; }
    void drawStatus(const std::string& text) override { statuses.push_back(text); }
    void repaintEnhanced() override { ++enhancedRepaints; }
    void repaintOriginal() override { ++originalRepaints; }
    void beginWaitCursor() override {
        ++waitDepth;
        if (waitDepth > maxWaitDepth) maxWaitDepth = waitDepth;
    }
    void endWaitCursor() override { --waitDepth; }
    std::string title() const override { return currentTitle; }
    void setTitle(const std::string& title) override {
        currentTitle = title;
        titles.push_back(title);
    }

    // The statuses that showed text, in order.
    std::vector<std::string> shownStatuses() const {
        std::vector<std::string> shown;
        for (const std::string& s : statuses)
            if (!s.empty()) shown.push_back(s);
        return shown;
    }
    void clear() {
        statuses.clear();
        titles.clear();
        enhancedRepaints = originalRepaints = 0;
        maxWaitDepth = 0;
    }
};

// Records what the steps report at full resolution.
class RecordingSink : public StatusSink {
  public:
    std::vector<std::string> texts;
    void showStatus(const std::string& text) override { texts.push_back(text); }
};
