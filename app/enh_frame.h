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

class Enh2Frame : public QSplitter {
    Q_OBJECT
  public:
    // Initial width of the panel pane.
    static constexpr int kPanelWidth = 500;

    explicit Enh2Frame(QWidget* parent = nullptr);
    EnhForm* panel() const { return panel_; }
    OriginalImageView* originalView() const { return original_; }

  private:
    EnhForm* panel_;
    OriginalImageView* original_;
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
