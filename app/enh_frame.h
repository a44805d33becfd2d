// EnhFrame and Enh2Frame: the splitters right of the folder tree. EnhFrame holds Enh2Frame
// above the directory tabs; Enh2Frame holds the panel (with the enhanced view) beside the
// original view.
#pragma once

#include <QSplitter>

class EnhForm;
class OriginalImageView;

// Sets a splitter's first pane to size pixels and gives every later change of the splitter's
// size to the second pane, as fixed-first-pane splitters do. A splitter that would keep less
// than a third for the second pane is shared equally.
void setFirstPaneSize(QSplitter* splitter, int size);

// The panel pane (controls and enhanced view) beside the original view. Until the user moves
// the bar the two views are equally wide, whatever the width; once moved, the user's share of
// the two panes is kept on resizing.
class Enh2Frame : public QSplitter {
    Q_OBJECT
  public:
    // The panel pane's minimum width.
    static constexpr int kPanelWidth = 500;

    explicit Enh2Frame(QWidget* parent = nullptr);
    EnhForm* panel() const { return panel_; }
    OriginalImageView* originalView() const { return original_; }
    // The panel pane's width that makes the two views equally wide (at least kPanelWidth).
    int equalPanelWidth() const;
    bool userMovedBar() const { return userShare_ > 0; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void shareSpace();

    EnhForm* panel_;
    OriginalImageView* original_;
    // The panel pane's part of both panes after the user moved the bar; 0 before.
    double userShare_ = 0;
};

class EnhFrame : public QSplitter {
    Q_OBJECT
  public:
    // Initial height of the editing pane above the directory tabs.
    static constexpr int kEditorHeight = 430;

    explicit EnhFrame(QWidget* parent = nullptr);
    Enh2Frame* editor() const { return editor_; }
    // The directory tabs below the editor; a placeholder with the "input directory" and
    // "output directory" tabs until the browsing widgets replace it through setDirectoryTabs.
    QWidget* directoryTabs() const { return tabs_; }
    void setDirectoryTabs(QWidget* tabs);

  private:
    Enh2Frame* editor_;
    QWidget* tabs_;
};
