// The directory tabs and their pages: each page's toolbar drives its own thumbnail view.
#include "browse/qt/dir_view.h"

#include <QAction>
#include <QIcon>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "browse/qt/photot_view.h"

DirFrame::DirFrame(PhototView* view, const QString& name, QWidget* parent)
    : QWidget(parent), view_(view), toolBar_(new QToolBar(this)) {
    setObjectName(name + " page");
    setAccessibleName(name);
    toolBar_->setObjectName(name + " toolbar");
    toolBar_->setAccessibleName(name + " toolbar");
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    zoomIn_ = addCommand("Zoom In", "zoom-in", QKeySequence::ZoomIn);
    zoomOut_ = addCommand("Zoom Out", "zoom-out", QKeySequence::ZoomOut);
    toolBar_->addSeparator();
    selectAll_ = addCommand("Select All", "edit-select-all", QKeySequence::SelectAll);
    unselectAll_ =
        addCommand("Unselect All", "edit-clear", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    connect(zoomIn_, &QAction::triggered, view_, &PhototView::zoomIn);
    connect(zoomOut_, &QAction::triggered, view_, &PhototView::zoomOut);
    connect(selectAll_, &QAction::triggered, view_, &PhototView::selectAll);
    connect(unselectAll_, &QAction::triggered, view_, &PhototView::unselectAll);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar_);
    view_->setParent(this);
    layout->addWidget(view_, 1);
}

QAction* DirFrame::addCommand(const QString& text, const char* icon, const QKeySequence& key) {
    QAction* action = toolBar_->addAction(QIcon::fromTheme(icon), text);
    action->setObjectName(text);
    action->setShortcut(key);
    // The keys work in the page that has the focus; both pages carry the same ones.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    if (QWidget* button = toolBar_->widgetForAction(action)) {
        button->setObjectName(text);
        button->setAccessibleName(text);
    }
    return action;
}

DirView::DirView(QWidget* parent)
    : QTabWidget(parent), input_(new PhototView), output_(new PhototView) {
    setObjectName("directory tabs");
    setAccessibleName("directory tabs");
    input_->setObjectName("input thumbnails");
    input_->setAccessibleName("input thumbnails");
    output_->setObjectName("output thumbnails");
    output_->setAccessibleName("output thumbnails");
    // Clicking a photo of the input folder also marks it for "save selected".
    input_->setMarkOnClick(true);

    inputFrame_ = new DirFrame(input_, "input directory");
    outputFrame_ = new DirFrame(output_, "output directory");
    addTab(inputFrame_, "input directory");
    addTab(outputFrame_, "output directory");
    setCurrentIndex(0);
}
