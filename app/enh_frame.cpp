// The two inner splitters of the main window and their initial pane sizes.
#include "app/enh_frame.h"

#include <QTabWidget>
#include <algorithm>

#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

void setFirstPaneSize(QSplitter* splitter, int size) {
    const int total =
        splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height();
    // A window too small to leave the second pane a third shares it equally instead.
    if (3 * size > 2 * total) size = total / 2;
    const int rest = total - size - splitter->handleWidth();
    splitter->setSizes({size, rest > 1 ? rest : 1});
    // Later changes of the splitter's size go to the second pane.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
}

Enh2Frame::Enh2Frame(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
    setObjectName("Enh2Frame");
    setChildrenCollapsible(false);
    panel_ = new EnhForm(this);
    original_ = new OriginalImageView(this);
    original_->setObjectName("original view");
    original_->setAccessibleName("original view");
    addWidget(panel_);
    addWidget(original_);
    // The controls never get less than their width, and the enhanced view keeps some beside.
    panel_->setMinimumWidth(kPanelWidth);
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    // Only a drag of the bar reports a move; setSizes does not.
    connect(this, &QSplitter::splitterMoved, this, [this] {
        const QList<int> s = sizes();
        if (s.size() == 2 && s[0] + s[1] > 0) userShare_ = double(s[0]) / (s[0] + s[1]);
    });
}

int Enh2Frame::equalPanelWidth() const {
    // panel - controls = original, with panel + original = what the bar leaves.
    const int both = width() - handleWidth();
    return std::max(kPanelWidth, (both + panel_->controlsWidth() + 1) / 2);
}

void Enh2Frame::shareSpace() {
    const int both = width() - handleWidth();
    if (both <= kPanelWidth) return;  // the splitter's own minimums decide
    const int panel =
        userMovedBar() ? std::max(kPanelWidth, int(userShare_ * both + 0.5)) : equalPanelWidth();
    setSizes({panel, std::max(1, both - panel)});
}

void Enh2Frame::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    shareSpace();
}

EnhFrame::EnhFrame(QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setObjectName("EnhFrame");
    setChildrenCollapsible(false);
    editor_ = new Enh2Frame(this);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("directory tabs");
    tabs->setAccessibleName("directory tabs");
    for (const char* name : {"input directory", "output directory"}) {
        auto* page = new QWidget(tabs);
        page->setObjectName(QString(name) + " placeholder");
        tabs->addTab(page, name);
    }
    tabs_ = tabs;
    addWidget(editor_);
    addWidget(tabs_);
}

void EnhFrame::setDirectoryTabs(QWidget* tabs) {
    const QList<int> sizes = this->sizes();
    QWidget* old = replaceWidget(1, tabs);
    tabs_ = tabs;
    setSizes(sizes);
    delete old;
}
