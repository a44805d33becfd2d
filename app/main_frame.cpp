// The main window: panes and splitters, the hidden toolbar and the dialog bar, the menus, and
// the window side of the preview chain and of the output-directory logic.
#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/about_box.h"
#include "app/batch_thread.h"
#include "app/enh_frame.h"
#include "app/one_to_one.h"
#include "app/recent_files.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/exp_view.h"
#include "browse/qt/folder_picker.h"
#include "browse/qt/photot_view.h"
#include "print/qt/print_options_dialog.h"
#include "ui_common/hover_button.h"
#include "workflow/preset_file.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/histogram_strip.h"
#include "workflow/qt/image_view.h"
#include "workflow/qt/output_options_dialog.h"

CMainFrame* CMainFrame::instance_ = nullptr;

namespace {

std::string toLocal(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromLocal(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    instance_ = this;
    setObjectName("CMainFrame");
    setWindowTitle(kAppTitle);
    createActions();
    createMenus();
    createToolBars();
    createPanes();

    chain_ = std::make_unique<PreviewChain>(panel()->settings(), *this);
    panel()->setChain(chain_.get());
    enhancedView()->setChain(chain_.get());
    originalView()->setChain(chain_.get());
    connect(enhancedView(), &ImageView::resized, this, [this] { chain_->rebuildFitted(false); });
    connect(originalView(), &ImageView::resized, this, [this] { chain_->refreshOriginalView(); });
    connect(enhancedView(), &ImageView::picked, this, [this](QPoint at) {
        const EditState before = editState();
        chain_->pickWhitePoint(at.x(), at.y());
        panel()->updateBoxes();
        recordStep("white balance", before);
    });
    connect(panel(), &EnhForm::stepped, this,
            [this](const QString& name, const EnhancementSettings& before) {
                recordStep(name, EditState{before, crop_});
            });
    // Space and Backspace step through the photos only while a view has the focus (elsewhere
    // they type or press buttons).
    for (ImageView* view : {enhancedView(), static_cast<ImageView*>(originalView())}) {
        auto* next =
            new QShortcut(QKeySequence(Qt::Key_Space), view, nullptr, nullptr, Qt::WidgetShortcut);
        connect(next, &QShortcut::activated, this, [this] { stepPhoto(1); });
        auto* previous = new QShortcut(QKeySequence(Qt::Key_Backspace), view, nullptr, nullptr,
                                       Qt::WidgetShortcut);
        connect(previous, &QShortcut::activated, this, [this] { stepPhoto(-1); });
    }
    for (ImageView* view : {enhancedView(), static_cast<ImageView*>(originalView())})
        connect(view, &ImageView::pointerMoved, this, [this](QPoint at) {
            panel()->setPointColour(chain_->trackPointer(at.x(), at.y()));
        });
    connect(panel(), &EnhForm::pickModeToggled, this, &CMainFrame::setPickMode);
    connect(panel(), &EnhForm::cropModeToggled, this, [this](bool on) {
        originalView()->setCropAspect(panel()->cropAspect());
        originalView()->setCropMode(on);
    });
    connect(panel(), &EnhForm::cropAspectChosen, originalView(), &OriginalImageView::setCropAspect);
    connect(originalView(), &OriginalImageView::cropApplied, this, &CMainFrame::applyCrop);
    connect(originalView(), &OriginalImageView::cropCancelled, this,
            [this] { panel()->cropToggle()->setChecked(false); });

    oneToOne_ = new OneToOne(*chain_, *enhancedView(), *originalView(), this);
    connect(oneToOne_, &OneToOne::changed, this, &CMainFrame::updateActions);
    connect(oneToOneAct_, &QAction::triggered, this, [this] { oneToOne_->showAt(0.5, 0.5); });
    connect(fittedAct_, &QAction::triggered, this, [this] { oneToOne_->showFitted(); });
    connect(enhancedView(), &ImageView::doubleClicked, this,
            [this](QPoint at) { oneToOne_->showAtViewPoint(at); });
    for (ImageView* view : {enhancedView(), static_cast<ImageView*>(originalView())})
        connect(view, &ImageView::dragged, this, [this](QPoint delta) { oneToOne_->pan(delta); });

    saver_ = std::make_unique<BatchSaver>(*chain_, *this, *this, *this, *this);
    batch_ = new BatchThread(this);
    saver_->setRunner(batch_);
    saver_->setJobs(0);  // every core, as the command line does
    connect(batch_, &BatchThread::runningChanged, this, &CMainFrame::onBatchRunning);
    connect(batch_, &BatchThread::progressed, this, &CMainFrame::onBatchProgress);
    createBatchBar();
    autosetBox_->setChecked(true);  // runs onAutoset through toggled
    toolBar_->hide();
    // The enhanced view's first status: the title "Vantifex".
    chain_->showStatus("");
    updateActions();

    const QRect screen = this->screen()->availableGeometry();
    resize(screen.size() * 9 / 10);
    move(screen.center() - rect().center());
}

CMainFrame::~CMainFrame() {
    // The batch's worker reads nothing of the window, but its reports call the saver.
    batch_->stopAndWait();
    // The box loses its focus while the children are destroyed, after this frame is gone:
    // its "editing finished" must not reach the frame's members then.
    if (outputBox_) outputBox_->disconnect(this);
    if (instance_ == this) instance_ = nullptr;
}

void CMainFrame::createActions() {
    const auto make = [this](const QString& text, const QString& name, const QString& tip) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        action->setToolTip(tip);
        action->setStatusTip(tip);
        addAction(action);  // shortcuts work with the toolbar hidden
        return action;
    };
    saveAsAct_ = make("save...", "save...", "Save the corrected photo under a name you choose");
    saveAsAct_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    saveCurrentAct_ = make("save current >", "save current >",
                           "Save the corrected photo into the output directory as enh_NAME");
    saveCurrentAct_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveSelectedAct_ = make("save selected >", "save selected >",
                            "Correct the marked photos into the output directory");
    saveDirectoryAct_ =
        make("save directory >", "save directory >",
             "Correct every photo of the input directory into the output directory");
    browseAct_ = make("browse...", "browse...", "Choose the output directory");
    printAct_ = make("&Print...", "Print...", "Print the corrected photo");
    printAct_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    exitAct_ = make("E&xit", "Exit", "Close Vantifex");
    exitAct_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    aboutAct_ = make("&About Vantifex...", "About Vantifex...", "Show the program's version");
    undoAct_ = make("Undo", "Undo", "Take back the last change of the settings");
    undoAct_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAct_ = make("Redo", "Redo", "Make the last change taken back again");
    redoAct_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(undoAct_, &QAction::triggered, this, &CMainFrame::undo);
    connect(redoAct_, &QAction::triggered, this, &CMainFrame::redo);
    nextPhotoAct_ = make("Next photo", "Next photo", "Load the next photo of the input directory");
    nextPhotoAct_->setShortcut(QKeySequence(Qt::Key_PageDown));
    previousPhotoAct_ =
        make("Previous photo", "Previous photo", "Load the previous photo of the input directory");
    previousPhotoAct_->setShortcut(QKeySequence(Qt::Key_PageUp));
    connect(nextPhotoAct_, &QAction::triggered, this, [this] { stepPhoto(1); });
    connect(previousPhotoAct_, &QAction::triggered, this, [this] { stepPhoto(-1); });
    newAct_ = make("New", "New", "New");
    openAct_ = make("Open", "Open", "Open");
    saveAct_ = make("Save", "Save", "Save");
    oneToOneAct_ =
        make("100%", "100%", "Show the corrected photo at 100 %: the pixels that saving writes");
    oneToOneAct_->setShortcut(QKeySequence(Qt::Key_1));
    fittedAct_ = make("fitted view", "fitted view", "Show the whole photo fitted to the views");
    fittedAct_->setShortcuts({QKeySequence(Qt::Key_0), QKeySequence(Qt::Key_Escape)});

    connect(saveAsAct_, &QAction::triggered, this, &CMainFrame::onSaveAs);
    connect(saveCurrentAct_, &QAction::triggered, this, &CMainFrame::onSaveCurrent);
    connect(saveSelectedAct_, &QAction::triggered, this, &CMainFrame::onSaveSelected);
    connect(saveDirectoryAct_, &QAction::triggered, this, &CMainFrame::onSaveDirectory);
    connect(browseAct_, &QAction::triggered, this, &CMainFrame::onBrowse);
    connect(printAct_, &QAction::triggered, this, &CMainFrame::onPrint);
    connect(exitAct_, &QAction::triggered, this, &QWidget::close);
    connect(aboutAct_, &QAction::triggered, this, &CMainFrame::onAbout);

    saveSettingsAct_ =
        make("Save settings...", "Save settings...", "Save the panel's settings as a preset file");
    loadSettingsAct_ =
        make("Load settings...", "Load settings...", "Set the panel from a preset file");
    outputOptionsAct_ = make("Output options...", "Output options...",
                             "JPEG quality, PNG compression, size, format and names of the copies");
    connect(outputOptionsAct_, &QAction::triggered, this, &CMainFrame::onOutputOptions);
    loadPhotoSettingsAct_ = make("Load settings from photo...", "Load settings from photo...",
                                 "Set the panel from the settings a corrected copy records");
    const QString filter = QString("Vantifex settings (*%1)").arg(kPresetExtension);
    connect(saveSettingsAct_, &QAction::triggered, this, [this, filter] {
        QDir().mkpath(presetFolder());
        std::string path = chooseSaveFile(toLocal(presetFolder()), toLocal(filter));
        if (path.empty()) return;
        if (path.find('.', path.rfind('/') + 1) == std::string::npos) path += kPresetExtension;
        saveSettingsTo(fromLocal(path));
    });
    connect(loadSettingsAct_, &QAction::triggered, this, [this, filter] {
        const QString path = QFileDialog::getOpenFileName(this, "Load settings", presetFolder(),
                                                          filter + ";;All Files (*)");
        if (!path.isEmpty()) loadSettingsFrom(path, false);
    });
    connect(loadPhotoSettingsAct_, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, "Load settings from photo", QString(), QString::fromStdString(kSaveAsFilter));
        if (!path.isEmpty()) loadSettingsFrom(path, true);
    });
}

QString CMainFrame::presetFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + "/.config";
    return config + "/vantifex/presets";
}

bool CMainFrame::saveSettingsTo(const QString& path) {
    std::string error;
    if (writePresetFile(toLocal(path), panel()->settings(), &error)) return true;
    showMessage("Cannot save the settings.", error);
    return false;
}

bool CMainFrame::loadSettingsFrom(const QString& path, bool fromPhoto, const QString& stepName) {
    EnhancementSettings settings;
    std::string error;
    const bool ok = fromPhoto ? readPresetFromPhoto(toLocal(path), &settings, &error)
                              : readPresetFile(toLocal(path), &settings, &error);
    if (!ok) {
        showMessage("Cannot load the settings.", error);
        return false;
    }
    const EditState before = editState();
    panel()->takeSettings(settings);
    recordStep(!stepName.isEmpty() ? stepName
               : fromPhoto         ? QString("Load settings from photo")
                                   : QString("Load settings"),
               before);
    return true;
}

void CMainFrame::fillPresetsMenu() {
    presetsMenu_->clear();
    const QStringList names =
        QDir(presetFolder())
            .entryList({QString("*") + kPresetExtension}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names) {
        QAction* action = presetsMenu_->addAction(name.chopped(int(strlen(kPresetExtension))));
        action->setObjectName("preset " + name);
        const QString path = presetFolder() + "/" + name;
        connect(action, &QAction::triggered, this, [this, path, step = "preset " + action->text()] {
            loadSettingsFrom(path, false, step);
        });
    }
    if (names.isEmpty()) presetsMenu_->addAction("(no presets)")->setEnabled(false);
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File");
    file->addAction(saveSettingsAct_);
    file->addAction(loadSettingsAct_);
    file->addAction(loadPhotoSettingsAct_);
    file->addAction(outputOptionsAct_);
    presetsMenu_ = file->addMenu("Presets");
    presetsMenu_->setObjectName("Presets");
    presetsMenu_->setAccessibleName("Presets");
    connect(presetsMenu_, &QMenu::aboutToShow, this, &CMainFrame::fillPresetsMenu);
    fillPresetsMenu();
    file->addSeparator();
    file->addAction(printAct_);
    file->addSeparator();
    file->addAction(exitAct_);
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("Edit");
    edit->addAction(undoAct_);
    edit->addAction(redoAct_);
    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help");
    help->addAction(aboutAct_);
}

void CMainFrame::createToolBars() {
    // The document framework's toolbar; it exists for "browse..." and stays hidden.
    toolBar_ = addToolBar("toolbar");
    toolBar_->setObjectName("toolbar");
    toolBar_->addAction(newAct_);
    toolBar_->addAction(openAct_);
    toolBar_->addAction(saveAct_);
    toolBar_->addSeparator();
    toolBar_->addAction(printAct_);
    toolBar_->addSeparator();
    toolBar_->addAction(browseAct_);

    dialogBar_ = addToolBar("dialog bar");
    dialogBar_->setObjectName("dialog bar");
    const auto button = [this](QAction* action) {
        auto* b = new HoverButton(action->text(), dialogBar_);
        b->setObjectName(action->objectName());
        b->setAccessibleName(action->objectName());
        b->setToolTip(action->toolTip());
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        dialogBar_->addWidget(b);
        return b;
    };
    saveAsButton_ = button(saveAsAct_);
    dialogBar_->addSeparator();
    saveCurrentButton_ = button(saveCurrentAct_);
    saveSelectedButton_ = button(saveSelectedAct_);
    saveDirectoryButton_ = button(saveDirectoryAct_);
    outputBox_ = new QLineEdit(dialogBar_);
    outputBox_->setObjectName("output directory");
    outputBox_->setAccessibleName("output directory");
    outputBox_->setToolTip("Where the corrected photos are written");
    outputBox_->setMinimumWidth(outputBox_->fontMetrics().averageCharWidth() * 48);
    connect(outputBox_, &QLineEdit::textEdited, this,
            [this](const QString& text) { saver_->setOutputDirectoryText(toLocal(text)); });
    // A folder typed into the box (autoset off) shows in the output view once the edit ends.
    connect(outputBox_, &QLineEdit::editingFinished, this, [this] {
        if (outputBox_->isReadOnly() || !dirView_) return;
        PhototView* output = dirView_->outputView();
        if (output->directory() != outputBox_->text()) output->loadDirectory(outputBox_->text());
    });
    dialogBar_->addWidget(outputBox_);
    browseButton_ = button(browseAct_);
    autosetBox_ = new QCheckBox("autoset", dialogBar_);
    autosetBox_->setObjectName("autoset");
    autosetBox_->setAccessibleName("autoset");
    autosetBox_->setToolTip("Write into the input directory's sub-folder \"enhanced\"");
    // The state, whatever changed it (a click, the keyboard, a screen reader's toggle).
    connect(autosetBox_, &QCheckBox::toggled, this, &CMainFrame::onAutoset);
    dialogBar_->addWidget(autosetBox_);
    outputOptionsButton_ = button(outputOptionsAct_);
    dialogBar_->addSeparator();
    oneToOneButton_ = button(oneToOneAct_);
}

void CMainFrame::onOutputOptions() {
    OutputOptionsDialog dialog(panel()->settings().output, this);
    // The options feed only the written copies, so the preview needs no recomputation.
    if (dialog.exec() != QDialog::Accepted) return;
    const EditState before = editState();
    panel()->settings().output = dialog.options();
    recordStep("output options", before);
}

void CMainFrame::createPanes() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("CMainFrame splitter");
    splitter_->setChildrenCollapsible(false);
    auto* tree = new QFrame(splitter_);
    tree->setObjectName("folder tree placeholder");
    tree->setFrameShape(QFrame::StyledPanel);
    folderTree_ = tree;
    enhFrame_ = new EnhFrame(splitter_);
    splitter_->addWidget(folderTree_);
    splitter_->addWidget(enhFrame_);
    setCentralWidget(splitter_);

    // The browsing widgets take the placeholders' places: a folder chosen in the tree becomes
    // the input directory, a thumbnail clicked in either view is opened for editing.
    expView_ = new CExpView;
    setFolderTree(expView_);
    dirView_ = new DirView;
    enhFrame_->setDirectoryTabs(dirView_);
    connect(expView_, &CExpView::inputDirectoryChanged, this, &CMainFrame::onInputDirectoryChanged);
    for (PhototView* view : {dirView_->inputView(), dirView_->outputView()})
        connect(view, &PhototView::photoClicked, this,
                [this](const QString& path) { loadPhoto(path); });
}

void CMainFrame::createBatchBar() {
    // Shown in the status bar while a batch runs: how far it is, and the way to stop it.
    batchProgress_ = new QProgressBar(this);
    batchProgress_->setObjectName("batch progress");
    batchProgress_->setAccessibleName("batch progress");
    batchProgress_->setTextVisible(true);
    batchProgress_->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    cancelBatchButton_ = new QPushButton("Cancel", this);
    cancelBatchButton_->setObjectName("cancel batch");
    cancelBatchButton_->setAccessibleName("cancel batch");
    cancelBatchButton_->setToolTip("Stop saving after the photos in hand");
    connect(cancelBatchButton_, &QPushButton::clicked, this, &CMainFrame::onCancelBatch);
    statusBar()->addPermanentWidget(batchProgress_);
    statusBar()->addPermanentWidget(cancelBatchButton_);
    batchProgress_->hide();
    cancelBatchButton_->hide();
}

void CMainFrame::setFolderTree(QWidget* tree) {
    const QList<int> sizes = splitter_->sizes();
    QWidget* old = splitter_->replaceWidget(0, tree);
    folderTree_ = tree;
    splitter_->setSizes(sizes);
    delete old;
}

EnhForm* CMainFrame::panel() const {
    return enhFrame_->editor()->panel();
}

ImageView* CMainFrame::enhancedView() const {
    return panel()->imageView();
}

OriginalImageView* CMainFrame::originalView() const {
    return enhFrame_->editor()->originalView();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (paneSizesSet_) return;
    paneSizesSet_ = true;
    // The initial pane sizes, once the first layout has settled (the bars' heights are known
    // only then); the last pane of each splitter takes the rest.
    QTimer::singleShot(0, this, [this] {
        setFirstPaneSize(splitter_, kTreeWidth);
        setFirstPaneSize(enhFrame_, EnhFrame::kEditorHeight);
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A running batch stops first, after the photos in hand; the window closes when it has.
    if (batch_->running()) {
        event->ignore();
        if (closeAfterBatch_ || !askQuestion(kAskStopBatch)) return;
        closeAfterBatch_ = true;
        onCancelBatch();
        return;
    }
    // Whatever goes wrong while closing, the window closes.
    try {
        QMainWindow::closeEvent(event);
    } catch (...) {
    }
    event->accept();
}

void CMainFrame::updateActions() {
    // One batch at a time; printing waits too, as it reads the photo again at full size.
    const bool saving = batch_ && batch_->running();
    for (QAction* a : {saveAsAct_, saveCurrentAct_, saveSelectedAct_, saveDirectoryAct_})
        a->setEnabled(!saving);
    browseAct_->setEnabled(!autosetBox_->isChecked());
    printAct_->setEnabled(!saving);
    if (cancelBatchButton_) cancelBatchButton_->setEnabled(saving && !batch_->cancelling());
    // The document framework's commands: this program has no document files.
    for (QAction* a : {newAct_, openAct_, saveAct_}) a->setEnabled(false);
    fittedAct_->setEnabled(oneToOne_ && oneToOne_->active());
    const std::pair<QPushButton*, QAction*> mirrored[] = {
        {saveAsButton_, saveAsAct_},
        {saveCurrentButton_, saveCurrentAct_},
        {saveSelectedButton_, saveSelectedAct_},
        {saveDirectoryButton_, saveDirectoryAct_},
        {browseButton_, browseAct_},
        {oneToOneButton_, oneToOneAct_},
    };
    for (const auto& [button, action] : mirrored) button->setEnabled(action->isEnabled());
    // "Undo red +": the step's name; an "&" in it is a character, not a mnemonic.
    const auto named = [](const char* verb, const std::string& name) {
        QString text = verb;
        if (!name.empty()) text += " " + QString::fromStdString(name).replace("&", "&&");
        return text;
    };
    undoAct_->setText(named("Undo", history_.undoName()));
    undoAct_->setEnabled(history_.canUndo());
    redoAct_->setText(named("Redo", history_.redoName()));
    redoAct_->setEnabled(history_.canRedo());
}

// --- undo and redo ---

EditState CMainFrame::editState() const {
    std::optional<CropRect> crop;
    if (!chain_->crop().isEmpty()) crop = chain_->crop();
    return EditState{panel()->settings(), crop};
}

void CMainFrame::recordStep(const QString& name, const EditState& before) {
    // crop_ mirrors the chain's crop between steps: a panel step reports its record before
    // the change only after the chain has already dropped the crop ("start over").
    crop_ = editState().crop;
    if (history_.record(name.toStdString(), before, editState())) updateActions();
}

void CMainFrame::applyEditState(const EditState& state, Stage restart) {
    crop_ = state.crop;
    // A changed crop rebuilds the chain from the fitted picture by itself.
    if (editState().crop != state.crop) chain_->setCrop(state.crop.value_or(CropRect{}));
    panel()->showSettings(state.settings, restart);
}

void CMainFrame::undo() {
    if (const auto r = history_.undo(editState())) applyEditState(r->state, r->restart);
    updateActions();
}

void CMainFrame::redo() {
    if (const auto r = history_.redo(editState())) applyEditState(r->state, r->restart);
    updateActions();
}

bool CMainFrame::stepPhoto(int step) {
    if (!dirView_) return false;
    const QString path = dirView_->inputView()->stepCurrent(fromLocal(chain_->currentPath()), step);
    if (path.isEmpty()) return false;
    loadPhoto(path);
    return true;
}

// --- the workflow ---

QSize CMainFrame::previewLimit() const {
    QSize limit = size();
    if (const QScreen* s = screen()) limit = limit.expandedTo(s->size() * s->devicePixelRatio());
    return limit;
}

bool CMainFrame::loadPhoto(const QString& path) {
    const QSize limit = previewLimit();
    chain_->setPreviewLimit(limit.width(), limit.height());
    // The crop being drawn belongs to the photo that goes.
    panel()->cropToggle()->setChecked(false);
    const bool ok = chain_->loadPhoto(toLocal(path));
    if (ok) recent_files::add(path);
    // The chain drops the crop with the photo it was made on (reloading it too).
    crop_.reset();
    history_.photoShown(toLocal(path));
    updateActions();
    return ok;
}

void CMainFrame::applyCrop(const CropRect& crop) {
    const EditState before{panel()->settings(), crop_};
    const bool applied = chain_->setCrop(crop);
    panel()->cropToggle()->setChecked(false);
    if (applied) recordStep("crop", before);
}

void CMainFrame::onInputDirectoryChanged(const QString& directory) {
    saver_->onInputDirectoryChanged(toLocal(directory));
}

void CMainFrame::selectInputDirectory(const QString& directory) {
    if (expView_ && expView_->selectPath(directory)) return;
    onInputDirectoryChanged(directory);
}

void CMainFrame::setPickMode(bool on) {
    pickMode_ = on;
    // A pick reads the fitted picture.
    if (on) oneToOne_->showFitted();
    enhancedView()->setPickMode(on);
    originalView()->setPickMode(on);
}

void CMainFrame::onSaveAs() {
    saver_->onSaveAs();
}

void CMainFrame::onSaveCurrent() {
    saver_->onSaveCurrent();
}

void CMainFrame::onSaveSelected() {
    saver_->onSaveSelected();
}

void CMainFrame::onSaveDirectory() {
    saver_->onSaveDirectory();
}

void CMainFrame::onCancelBatch() {
    batch_->cancel();
    if (batch_->cancelling()) batchProgress_->setFormat("Stopping after the photos in hand");
    updateActions();
}

void CMainFrame::onBatchRunning(bool running) {
    if (running) {
        batchProgress_->setRange(0, 0);  // busy until the first photo starts
        batchProgress_->setFormat(QString());
    }
    batchProgress_->setVisible(running);
    cancelBatchButton_->setVisible(running);
    updateActions();
    if (!running && closeAfterBatch_) QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::onBatchProgress(int i, int n) {
    batchProgress_->setRange(0, n);
    batchProgress_->setValue(i);
    if (!batch_->cancelling()) batchProgress_->setFormat("Processing %v of %m");
}

void CMainFrame::onAutoset(bool checked) {
    autosetBox_->setChecked(checked);  // when called from elsewhere than the box
    saver_->onAutoset(checked);
}

void CMainFrame::onBrowse() {
    saver_->onBrowse();
}

void CMainFrame::onPrint() {
    if (batch_->running()) return;  // shown disabled
    if (!printDialog_) printDialog_ = std::make_unique<PrintOptionsDialog>(*chain_, this);
    printDialog_->exec();
}

void CMainFrame::onAbout() {
    AboutBox box(this);
    box.exec();
}

// --- PreviewView ---

PreviewView::ClientSize CMainFrame::enhancedClientSize() const {
    return {enhancedView()->width(), enhancedView()->height()};
}

PreviewView::ClientSize CMainFrame::originalClientSize() const {
    return {originalView()->width(), originalView()->height()};
}

void CMainFrame::drawStatus(const std::string& text) {
    enhancedView()->drawStatus(QString::fromStdString(text));
}

void CMainFrame::repaintEnhanced() {
    enhancedView()->refreshPicture();
    if (oneToOne_) oneToOne_->refresh();
    panel()->histogramStrip()->refresh();
}

void CMainFrame::repaintOriginal() {
    originalView()->refreshPicture();
    if (oneToOne_) oneToOne_->refresh();
}

void CMainFrame::beginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::endWaitCursor() {
    QApplication::restoreOverrideCursor();
}

std::string CMainFrame::title() const {
    return toLocal(windowTitle());
}

void CMainFrame::setTitle(const std::string& title) {
    setWindowTitle(fromLocal(title));
}

// --- DirectoryViews: the thumbnail views and the folder tree arrive with browsing ---

void CMainFrame::loadInputDirectory(const std::string& directory) {
    if (dirView_) dirView_->inputView()->loadDirectory(fromLocal(directory));
}

void CMainFrame::showOutputDirectory(const std::string& directory) {
    outputBox_->setText(fromLocal(directory));
    if (dirView_) dirView_->outputView()->loadDirectory(fromLocal(directory));
}

void CMainFrame::refreshOutputView() {
    if (dirView_) dirView_->outputView()->refresh();
}

void CMainFrame::refreshFolderTree() {
    if (expView_) expView_->refresh();
}

void CMainFrame::setAutosetControls(bool autoset) {
    outputBox_->setReadOnly(autoset);
    updateActions();
}

std::vector<std::string> CMainFrame::selectedInputFiles() {
    std::vector<std::string> files;
    if (!dirView_) return files;
    QStringList marked;
    dirView_->inputView()->getSelectedFiles(marked);
    for (const QString& f : marked) files.push_back(toLocal(f));
    return files;
}

// --- UserDialogs, FolderPicker ---

void CMainFrame::showMessage(const std::string& text, const std::string& detail) {
    if (dialogs_) return dialogs_->showMessage(text, detail);
    // The fixed words stay the main text; which file and why go below them.
    QMessageBox box(QMessageBox::Warning, kAppTitle, QString::fromStdString(text), QMessageBox::Ok,
                    this);
    box.setObjectName("message box");
    box.setAccessibleName(QString::fromStdString(text));
    if (!detail.empty()) box.setInformativeText(fromLocal(detail));
    box.exec();
}

void CMainFrame::showInformation(const std::string& text) {
    if (closeAfterBatch_) return;  // the summary of a batch stopped by closing the window
    if (dialogs_) return dialogs_->showInformation(text);
    QMessageBox::information(this, kAppTitle, QString::fromStdString(text), QMessageBox::Ok);
}

bool CMainFrame::askQuestion(const std::string& text) {
    if (dialogs_) return dialogs_->askQuestion(text);
    return QMessageBox::question(this, kAppTitle, QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string CMainFrame::chooseSaveFile(const std::string& directory, const std::string& filter) {
    if (dialogs_) return dialogs_->chooseSaveFile(directory, filter);
    // Qt's dialog asks before it overwrites (its default).
    return toLocal(QFileDialog::getSaveFileName(this, QString(), fromLocal(directory),
                                                QString::fromStdString(filter)));
}

std::string CMainFrame::pickFolder(const std::string& initialFolder) {
    if (picker_) return picker_->pickFolder(initialFolder);
    return toLocal(::pickFolder(this, fromLocal(initialFolder)));
}
