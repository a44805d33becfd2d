// CMainFrame: the application's one top-level window. It lays out the panes, carries the
// dialog bar and the menus, owns the preview chain and routes the commands; it is also the
// window side of the chain (PreviewView) and of the saving logic (DirectoryViews).
#pragma once

#include "workflow/crop_rect.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "browse/path_helpers.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/exp_view.h"
#include "workflow/batch_saver.h"
#include "workflow/edit_history.h"
#include "workflow/preview_chain.h"

class QAction;
class QMenu;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QToolBar;
class EnhForm;
class EnhFrame;
class Enh2Frame;
class ImageView;
class OriginalImageView;
class PrintOptionsDialog;
class BatchThread;
class OneToOne;

class CMainFrame : public QMainWindow,
                   public PreviewView,
                   public DirectoryViews,
                   public UserDialogs,
                   public paths::FolderPicker {
    Q_OBJECT
  public:
    // Initial width of the folder-tree pane.
    static constexpr int kTreeWidth = 200;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The one main frame of the run (null before it exists).
    static CMainFrame* instance() { return instance_; }

    // --- the workflow's entry points ---
    // Loads a photo into the editor; the preview is decoded no larger than the screen.
    bool loadPhoto(const QString& path);
    // Every change of the photo's crop made in the window goes through here: applies crop
    // (an empty one clears it) and leaves crop mode.
    void applyCrop(const CropRect& crop);
    // A folder became the input directory (the folder tree, or a folder on the command line).
    void onInputDirectoryChanged(const QString& directory);
    // A folder given from outside the tree (the command line): selected in the tree, which
    // then reports it; a folder the tree does not list is taken as it is.
    void selectInputDirectory(const QString& directory);
    // Pick mode: clicks on the enhanced view set the white point.
    void setPickMode(bool on);
    bool pickMode() const { return pickMode_; }

    // --- the panes, for the browsing widgets that replace the placeholders ---
    void setFolderTree(QWidget* tree);
    QWidget* folderTree() const { return folderTree_; }
    EnhFrame* enhFrame() const { return enhFrame_; }
    // The browsing widgets (null once replaced through setFolderTree/setDirectoryTabs).
    CExpView* expView() const { return expView_; }
    DirView* dirView() const { return dirView_; }
    EnhForm* panel() const;
    ImageView* enhancedView() const;
    OriginalImageView* originalView() const;
    PreviewChain& chain() { return *chain_; }
    BatchSaver& saver() { return *saver_; }
    // Where the save commands run, off the window's thread.
    BatchThread& batch() { return *batch_; }
    // The 100 % view of the two image views.
    OneToOne& oneToOne() { return *oneToOne_; }

    // Message boxes, the save dialog and the folder picker go to these instead of the real
    // ones when set (tests answer them); null restores the real ones.
    void setDialogs(UserDialogs* dialogs) { dialogs_ = dialogs; }
    void setFolderPicker(paths::FolderPicker* picker) { picker_ = picker; }

    // One place decides what is enabled.
    void updateActions();

    // --- undo and redo ---
    EditHistory& history() { return history_; }
    // The panel's record and the crop of the photo shown.
    EditState editState() const;
    // One step of the history: the change from before to the state now, named name.
    void recordStep(const QString& name, const EditState& before);
    // Shows a state from the history: the panel, the crop and the chain from restart on.
    void applyEditState(const EditState& state, Stage restart);
    void undo();
    void redo();

    // Next (step 1) or previous (-1) photo of the input directory in thumbnail order; false
    // at the ends, where nothing happens.
    bool stepPhoto(int step);

    // --- settings files ---
    // $XDG_CONFIG_HOME/vantifex/presets (~/.config/... without it).
    static QString presetFolder();
    // The panel's settings into a preset file; a refusal is told in a message box.
    bool saveSettingsTo(const QString& path);
    // A preset file, or the record of a corrected copy (fromPhoto), into the panel; a refusal
    // is told in a message box and changes nothing.
    // stepName: the history's name of the load (the File menu's words when empty).
    bool loadSettingsFrom(const QString& path, bool fromPhoto, const QString& stepName = {});
    // The "Presets" submenu, filled from presetFolder() each time it opens.
    QMenu* presetsMenu() const { return presetsMenu_; }
    void fillPresetsMenu();

    // --- PreviewView ---
    ClientSize enhancedClientSize() const override;
    ClientSize originalClientSize() const override;
    void drawStatus(const std::string& text) override;
    void repaintEnhanced() override;
    void repaintOriginal() override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
    std::string title() const override;
    void setTitle(const std::string& title) override;

    // --- DirectoryViews (the thumbnail views and the tree come with browsing) ---
    void loadInputDirectory(const std::string& directory) override;
    void showOutputDirectory(const std::string& directory) override;
    void refreshOutputView() override;
    void refreshFolderTree() override;
    void setAutosetControls(bool autoset) override;
    std::vector<std::string> selectedInputFiles() override;

    // --- UserDialogs, FolderPicker ---
    void showMessage(const std::string& text, const std::string& detail = {}) override;
    void showInformation(const std::string& text) override;
    bool askQuestion(const std::string& text) override;
    std::string chooseSaveFile(const std::string& directory, const std::string& filter) override;
    std::string pickFolder(const std::string& initialFolder) override;

    // Asked when the window is closed during a batch.
    static constexpr const char* kAskStopBatch =
        "Photos are still being saved. Stop after the photos in hand and close Vantifex?";

  public slots:
    // The save commands; they run on the batch thread while the window stays usable.
    void onSaveAs();
    void onSaveCurrent();
    void onSaveSelected();
    void onSaveDirectory();
    // The Cancel button of a running batch: the photos in hand finish, no other starts.
    void onCancelBatch();
    // "Print...": the print dialog on the photo in the editor, modal.
    void onPrint();
    void onAutoset(bool checked);
    void onBrowse();
    void onOutputOptions();
    void onAbout();

    // The largest size a preview needs: the screen, or the window when it is larger.
    QSize previewLimit() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createPanes();
    void createBatchBar();
    // The batch began or ended.
    void onBatchRunning(bool running);
    void onBatchProgress(int i, int n);

    static CMainFrame* instance_;

    QSplitter* splitter_ = nullptr;
    QWidget* folderTree_ = nullptr;
    EnhFrame* enhFrame_ = nullptr;
    QPointer<CExpView> expView_;
    QPointer<DirView> dirView_;
    std::unique_ptr<PreviewChain> chain_;
    std::unique_ptr<BatchSaver> saver_;
    // One print dialog for the run, so its values and printer carry over (after the chain,
    // which it reads, so that it goes first).
    std::unique_ptr<PrintOptionsDialog> printDialog_;
    // A child of the window; stopped (after the photos in hand) before the saver and the
    // chain go.
    BatchThread* batch_ = nullptr;
    OneToOne* oneToOne_ = nullptr;
    UserDialogs* dialogs_ = nullptr;
    paths::FolderPicker* picker_ = nullptr;
    bool pickMode_ = false;
    EditHistory history_;
    // The crop of the photo shown, in pixels of the upright photo (none: the whole photo).
    std::optional<CropRect> crop_;
    bool paneSizesSet_ = false;
    // The window was closed during a batch: it closes when the batch has stopped.
    bool closeAfterBatch_ = false;

    QAction* saveAsAct_ = nullptr;
    QAction* saveCurrentAct_ = nullptr;
    QAction* saveSelectedAct_ = nullptr;
    QAction* saveDirectoryAct_ = nullptr;
    QAction* browseAct_ = nullptr;
    QAction* printAct_ = nullptr;
    QAction* exitAct_ = nullptr;
    QAction* aboutAct_ = nullptr;
    QAction* saveSettingsAct_ = nullptr;
    QAction* loadSettingsAct_ = nullptr;
    QAction* loadPhotoSettingsAct_ = nullptr;
    QAction* outputOptionsAct_ = nullptr;
    QMenu* presetsMenu_ = nullptr;
    QAction* undoAct_ = nullptr;
    QAction* redoAct_ = nullptr;
    QAction* nextPhotoAct_ = nullptr;
    QAction* previousPhotoAct_ = nullptr;
    QAction* newAct_ = nullptr;
    QAction* openAct_ = nullptr;
    QAction* saveAct_ = nullptr;
    QAction* oneToOneAct_ = nullptr;
    QAction* fittedAct_ = nullptr;

    QToolBar* toolBar_ = nullptr;
    QToolBar* dialogBar_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
    QPushButton* saveCurrentButton_ = nullptr;
    QPushButton* saveSelectedButton_ = nullptr;
    QPushButton* saveDirectoryButton_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* outputOptionsButton_ = nullptr;
    QPushButton* oneToOneButton_ = nullptr;
    QLineEdit* outputBox_ = nullptr;
    QCheckBox* autosetBox_ = nullptr;
    QProgressBar* batchProgress_ = nullptr;
    QPushButton* cancelBatchButton_ = nullptr;
};
