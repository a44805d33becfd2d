// Saving from the main window: the four save commands driven through the dialog bar with
// faked message boxes, the batch off the window's thread with its progress bar, Cancel and
// close, and "autoset", "browse..." and the output box following the folder tree.
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/batch_thread.h"
#include "app/main_frame.h"
#include "browse/directory_listing.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/photot_view.h"
#include "enhance/photo_edit.h"
#include "tests/app/window_test_support.h"
#include "tests/workflow/fake_dialogs.h"
#include "workflow/batch_saver.h"
#include "workflow/enhancement_steps.h"

using namespace window_tests;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

// A main window whose boxes and pickers are the fakes.
struct Window {
    std::unique_ptr<CMainFrame> frame = shownFrame(1400, 900);
    FakeDialogs dialogs;
    FakePicker picker;

    Window() {
        if (!frame) return;
        frame->setDialogs(&dialogs);
        frame->setFolderPicker(&picker);
    }
    ~Window() {
        if (frame) frame->setDialogs(nullptr);
    }
    QPushButton* button(const char* name) const { return frame->findChild<QPushButton*>(name); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    bool waitForBatch(int ms = 120000) const {
        QElapsedTimer t;
        t.start();
        while (frame->batch().running() && t.elapsed() < ms) QTest::qWait(5);
        return !frame->batch().running();
    }
};

std::string writeJpeg(const testing_support::TempDir& dir, const std::string& name, int w, int h,
                      uint32_t seed) {
    const std::string path = dir.file(name);
    DibImage img = testPhoto(w, h, seed);
    return img.saveToFile(path.c_str(), JPEG) ? path : std::string();
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The settings as vantifex-cli options.
QStringList cliOptions(const EnhancementSettings& s) {
    const std::pair<const char*, int> values[] = {
        {"--red", s.redOffset},         {"--green", s.greenOffset}, {"--blue", s.blueOffset},
        {"--yellow", s.yellowOffset},   {"--cyan", s.cyanOffset},   {"--magenta", s.magentaOffset},
        {"--white", s.whiteOffset},     {"--rose", s.roseOffset},   {"--orange", s.orangeOffset},
        {"--skin", s.skinOffset},       {"--brown", s.brownOffset}, {"--sharpen", s.sharpen},
        {"--brightness", s.brightness}, {"--contrast", s.contrast}, {"--rotation", s.rotation},
        {"--effect", s.effect},
    };
    QStringList args;
    for (const auto& [name, value] : values) args << name << QString::number(value);
    if (!s.whiteBalance.empty())
        args << "--white-balance" << QString::fromStdString(s.whiteBalance);
    return args;
}

bool startsWith(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// The picture a source gives with these settings, as the save commands compute it.
DibImage expectedPicture(const std::string& source, const EnhancementSettings& settings) {
    PhotoEdit photo;
    photo.load(source);
    renderForSaving(photo, settings);
    return photo.image;
}

}  // namespace

class WindowSavingTest : public QObject {
    Q_OBJECT
  private slots:
    void saveCurrentMatchesTheCommandLineAndSaveAsWritesTheChosenName() {
        Window w;
        QVERIFY(w.frame);
        // Nothing in the editor yet: both single saves say so and write nothing.
        w.click("save current >");
        w.click("save...");
        QCOMPARE(w.dialogs.messages, (Strings{"No selected image.", "No selected image."}));
        QVERIFY(w.dialogs.saveDialogs.empty());

        testing_support::TempDir dir;
        const std::string photo = writeJpeg(dir, "Shot.JPG", 640, 480, 3);
        QVERIFY(!photo.empty());
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        QVERIFY(w.frame->loadPhoto(QString::fromStdString(photo)));
        for (const char* name :
             {"brightness +", "brightness +", "contrast +", "red +", "sharpen +", "rotate right"})
            w.click(name);
        const EnhancementSettings settings = w.frame->chain().settings();
        QCOMPARE(settings.rotation, 1);

        w.click("save current >");
        QVERIFY(w.waitForBatch());
        QVERIFY(w.dialogs.messages.size() == 2);  // nothing more was said
        const std::string saved = dir.file("enhanced/enh_shot.jpg");
        const auto bytes = testing_support::readBytes(saved);
        QVERIFY(startsWith(bytes, {0xFF, 0xD8}));
        QCOMPARE(w.frame->windowTitle(),
                 "Vantifex - " + QFileInfo(QString::fromStdString(photo)).fileName());

        // The same settings through the command line give the same bytes.
        QProcess cli;
        cli.start(VFX_CLI_PATH, QStringList{"enhance"} + cliOptions(settings) +
                                    QStringList{QString::fromStdString(photo), "-o",
                                                QString::fromStdString(dir.file("cli"))});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(bytes == testing_support::readBytes(dir.file("cli/enh_shot.jpg")));

        // The output view was refreshed and shows the new file.
        PhototView* output = w.frame->dirView()->outputView();
        QTRY_VERIFY_WITH_TIMEOUT(output->scanDone() && output->grid().items().size() == 1, 20000);

        // "save..." writes exactly where the dialog says (the name lower-cased), no prefix,
        // the dialog opening in the photo's folder.
        fs::create_directory(dir.file("chosen"));
        w.dialogs.saveName = dir.file("chosen/picked.png");
        w.click("save...");
        QVERIFY(w.waitForBatch());
        QCOMPARE(w.dialogs.saveDialogs.size(), size_t(1));
        QCOMPARE(w.dialogs.saveDialogs[0].first, dir.path().string());
        QCOMPARE(namesIn(dir.file("chosen")), Strings{"picked.png"});
        DibImage written;
        QVERIFY(written.loadFromFile(dir.file("chosen/picked.png").c_str(), PNG));
        QVERIFY(testing_support::sameImage(written, expectedPicture(photo, settings)));
        QVERIFY(w.dialogs.messages.size() == 2);
        // A cancelled dialog writes nothing.
        w.dialogs.saveName.clear();
        w.click("save...");
        QVERIFY(!w.frame->batch().running());
        QCOMPARE(namesIn(dir.file("chosen")), Strings{"picked.png"});

        // The photo went away after it was opened: "Cannot locate file.".
        fs::remove(photo);
        w.click("save current >");
        w.click("save...");
        QCOMPARE(w.dialogs.messages.back(), std::string("Cannot locate file."));
        QCOMPARE(w.dialogs.messages.size(), size_t(4));
    }

    void theFolderOfTheExample() {
        Window w;
        QVERIFY(w.frame);
        testing_support::TempDir dir;
        QVERIFY(!writeJpeg(dir, "a.JPG", 60, 40, 1).empty());
        testing_support::writeBytes(dir.file("b.txt"), {'x'});
        DibImage c = testPhoto(40, 60, 2);
        QVERIFY(c.saveToFile(dir.file("c.png").c_str(), PNG));
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));

        QStringList titles, barTexts;
        connect(w.frame.get(), &QWidget::windowTitleChanged, w.frame.get(),
                [&](const QString& t) { titles << t; });
        auto* bar = w.frame->findChild<QProgressBar*>("batch progress");
        QVERIFY(bar);
        connect(&w.frame->batch(), &BatchThread::progressed, w.frame.get(),
                [&] { barTexts << (bar->isVisible() ? bar->text() : QString("hidden")); });

        // Declined: nothing happens.
        w.dialogs.answer = false;
        w.click("save directory >");
        QVERIFY(!w.frame->batch().running());
        QVERIFY(!fs::exists(dir.file("enhanced")));
        w.dialogs.answer = true;
        w.click("save directory >");
        QCOMPARE(w.dialogs.questions,
                 (Strings{2,
                          "Would you like to process and save the entire directory with the "
                          "current settings?"}));
        QVERIFY(w.waitForBatch());

        // The titles number the entries of the listing, the text file included.
        std::vector<std::string> listing;
        DirectoryListing list;
        list.open(dir.path().string());
        list.collect(listing, "");
        QStringList expectedTitles, expectedBars;
        for (size_t i = 0; i < listing.size(); ++i) {
            if (fs::path(listing[i]).extension() == ".txt") continue;
            expectedTitles << QString("Vantifex - Processing %1 of 3").arg(i + 1);
            expectedBars << QString("Processing %1 of 3").arg(i + 1);
        }
        QCOMPARE(titles.filter("Processing"), expectedTitles);
        QCOMPARE(barTexts, expectedBars);
        QCOMPARE(w.frame->windowTitle(), QString("Vantifex"));
        QCOMPARE(w.dialogs.informations, Strings{"Finished processing 2 images."});
        QCOMPARE(namesIn(dir.file("enhanced")), (Strings{"enh_a.jpg", "enh_c.png"}));
        QVERIFY(
            startsWith(testing_support::readBytes(dir.file("enhanced/enh_a.jpg")), {0xFF, 0xD8}));
        QVERIFY(startsWith(testing_support::readBytes(dir.file("enhanced/enh_c.png")),
                           {0x89, 'P', 'N', 'G'}));
        QVERIFY(!bar->isVisible());

        // "save selected >" with nothing marked reports 0; with c.png marked, 1.
        w.click("save selected >");
        QVERIFY(w.waitForBatch());
        QCOMPARE(w.dialogs.questions.back(),
                 std::string("Would you like to process and save all selected files with the "
                             "current settings?"));
        QCOMPARE(w.dialogs.informations.back(), std::string("Finished processing 0 images."));
        PhototView* input = w.frame->dirView()->inputView();
        QTRY_VERIFY_WITH_TIMEOUT(input->scanDone(), 20000);
        input->selectAll();
        QStringList marked;
        input->getSelectedFiles(marked);
        QCOMPARE(marked.size(), 2);
        w.click("save selected >");
        QVERIFY(w.waitForBatch());
        QCOMPARE(w.dialogs.informations.back(), std::string("Finished processing 2 images."));
    }

    void cancelStopsAfterThePhotosInHand() {
        Window w;
        QVERIFY(w.frame);
        testing_support::TempDir dir;
        for (int i = 0; i < 40; ++i)
            QVERIFY(!writeJpeg(dir, "p" + std::to_string(100 + i) + ".jpg", 800, 600, i).empty());
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        auto* cancel = w.button("cancel batch");
        auto* bar = w.frame->findChild<QProgressBar*>("batch progress");
        QVERIFY(cancel && bar);
        QVERIFY(!cancel->isVisible());
        int progressSteps = 0;
        bool cancelShown = false;
        connect(&w.frame->batch(), &BatchThread::progressed, w.frame.get(), [&] {
            if (++progressSteps != 1) return;
            cancelShown = cancel->isVisible() && cancel->isEnabled();
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        w.click("save directory >");
        QVERIFY(w.frame->batch().running());
        QVERIFY(w.waitForBatch());
        QVERIFY(cancelShown);
        QVERIFY(!cancel->isVisible());

        // Fewer than 40 written, every one whole; no temporary file is left.
        const std::vector<std::string> names = namesIn(dir.file("enhanced"));
        QVERIFY2(!names.empty() && names.size() < 40, qPrintable(QString::number(names.size())));
        qInfo("cancelled after the first progress step: %d of 40 written", int(names.size()));
        for (const std::string& name : names) {
            QVERIFY2(name.rfind("enh_p", 0) == 0 && fs::path(name).extension() == ".jpg",
                     name.c_str());
            DibImage img;
            QVERIFY2(img.loadFromFile(dir.file("enhanced/" + name).c_str(), JPEG), name.c_str());
            QCOMPARE(img.width(), 800);
            QCOMPARE(img.height(), 600);
        }
        // The summary counts what was written and what was never started.
        const int written = int(names.size());
        QCOMPARE(w.dialogs.informations,
                 Strings{"Finished processing " + std::to_string(written) +
                         " images.\nStopped: " + std::to_string(40 - written) + " not started."});
        QCOMPARE(w.frame->windowTitle(), QString("Vantifex"));
        QVERIFY(w.button("save directory >")->isEnabled());
    }

    void theWindowKeepsWorkingDuringABatch() {
        Window w;
        QVERIFY(w.frame);
        testing_support::TempDir dir;
        std::vector<std::string> photos;
        for (int i = 0; i < 16; ++i) {
            DibImage img = testPhoto(900, 600, 50 + i);
            photos.push_back(dir.file("q" + std::to_string(10 + i) + ".png"));
            QVERIFY(img.saveToFile(photos.back().c_str(), PNG));
        }
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        QVERIFY(w.frame->loadPhoto(QString::fromStdString(photos[0])));
        w.click("contrast +");
        const EnhancementSettings atStart = w.frame->chain().settings();

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ticks += w.frame->batch().running() ? 1 : 0; });
        timer.start(5);
        bool panelChanged = false;
        connect(&w.frame->batch(), &BatchThread::progressed, w.frame.get(), [&] {
            if (panelChanged) return;
            panelChanged = true;
            // The editor stays usable: the preview follows the panel, the files do not.
            w.click("brightness +");
        });
        w.click("save directory >");
        // The click has returned and the batch runs on: commands and printing wait for it.
        QVERIFY(w.frame->batch().running());
        for (const char* name :
             {"save...", "save current >", "save selected >", "save directory >"})
            QVERIFY2(!w.button(name)->isEnabled(), name);
        QVERIFY(!w.frame->findChild<QAction*>("Print...")->isEnabled());
        QVERIFY(w.frame->findChild<QProgressBar*>("batch progress")->isVisible());
        QVERIFY(w.waitForBatch());
        timer.stop();
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QVERIFY(panelChanged);
        QCOMPARE(w.frame->chain().settings().brightness, atStart.brightness + 1);
        QCOMPARE(w.dialogs.informations, Strings{"Finished processing 16 images."});
        for (const std::string& photo : photos) {
            DibImage written;
            const std::string out = dir.file("enhanced/enh_" + fs::path(photo).filename().string());
            QVERIFY2(written.loadFromFile(out.c_str(), PNG), out.c_str());
            QVERIFY2(testing_support::sameImage(written, expectedPicture(photo, atStart)),
                     out.c_str());
        }
        for (const char* name :
             {"save...", "save current >", "save selected >", "save directory >"})
            QVERIFY2(w.button(name)->isEnabled(), name);
        QVERIFY(w.frame->findChild<QAction*>("Print...")->isEnabled());
    }

    void closingDuringABatchAsksAndWaits() {
        Window w;
        QVERIFY(w.frame);
        testing_support::TempDir dir;
        for (int i = 0; i < 24; ++i)
            QVERIFY(!writeJpeg(dir, "c" + std::to_string(10 + i) + ".jpg", 800, 600, i).empty());
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        w.click("save directory >");
        QVERIFY(w.frame->batch().running());
        w.dialogs.answer = false;  // "No": the window stays and the batch goes on
        QVERIFY(!w.frame->close());
        QCOMPARE(w.dialogs.questions.back(), std::string(CMainFrame::kAskStopBatch));
        QVERIFY(w.frame->isVisible());
        w.dialogs.answer = true;
        w.frame->close();
        QTRY_VERIFY_WITH_TIMEOUT(!w.frame->isVisible(), 120000);
        QVERIFY(!w.frame->batch().running());
        QVERIFY(w.dialogs.informations.empty());  // no summary box over a closing window
        for (const std::string& name : namesIn(dir.file("enhanced"))) {
            DibImage img;
            QVERIFY2(img.loadFromFile(dir.file("enhanced/" + name).c_str(), JPEG), name.c_str());
        }
    }

    void aFailedSaveNamesThePathAndTheReasonBelowTheMessage() {
        Window w;
        QVERIFY(w.frame);
        w.frame->setDialogs(nullptr);  // the real message boxes
        testing_support::TempDir dir;
        testing_support::writeBytes(dir.file("plain-file"), {1});
        fs::create_directories(dir.file("out/enh_t.jpg"));
        const std::string photo = writeJpeg(dir, "t.jpg", 32, 24, 4);
        QVERIFY(w.frame->loadPhoto(QString::fromStdString(photo)));
        w.frame->onAutoset(false);
        auto* box = w.frame->findChild<QLineEdit*>("output directory");
        QVERIFY(box);
        const struct {
            std::string folder, informative;
        } cases[] = {
            {dir.file("plain-file/out/deeper"), dir.file("plain-file") + ": Not a directory"},
            {dir.file("out"), dir.file("out/enh_t.jpg") + ": Is a directory"},
        };
        for (const auto& c : cases) {
            box->selectAll();
            QTest::keyClicks(box, QString::fromStdString(c.folder));
            QTest::keyClick(box, Qt::Key_Return);
            QString text, informative, name;
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!shown) return;
                text = shown->text();
                informative = shown->informativeText();
                name = shown->objectName();
                shown->accept();
            });
            poll.start(10);
            w.click("save current >");
            QVERIFY(w.waitForBatch());
            QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 20000);
            poll.stop();
            QCOMPARE(text, QString("Cannot write file."));
            QCOMPARE(informative, QString::fromStdString(c.informative));
            QCOMPARE(name, QString("message box"));
        }
    }

    void autosetBrowseAndTheOutputBox() {
        Window w;
        QVERIFY(w.frame);
        testing_support::TempDir dir;
        fs::create_directories(dir.file("one"));
        fs::create_directories(dir.file("two"));
        auto* autoset = w.frame->findChild<QCheckBox*>("autoset");
        auto* box = w.frame->findChild<QLineEdit*>("output directory");
        auto* browse = w.button("browse...");
        PhototView* output = w.frame->dirView()->outputView();
        QVERIFY(autoset && box && browse);

        // With autoset the box follows the tree.
        const QString one = QString::fromStdString(dir.file("one"));
        w.frame->selectInputDirectory(one);
        QCOMPARE(box->text(), one + "/enhanced");
        QCOMPARE(output->directory(), one + "/enhanced");
        w.picker.answer = dir.file("two");
        w.click("browse...");  // disabled: nothing happens
        QCOMPARE(w.picker.calls, 0);

        // Off: the text stays, the box is editable, "browse..." picks the folder.
        QTest::mouseClick(autoset, Qt::LeftButton);
        QVERIFY(browse->isEnabled() && !box->isReadOnly());
        QCOMPARE(box->text(), one + "/enhanced");
        w.click("browse...");
        QCOMPARE(w.picker.calls, 1);
        QCOMPARE(box->text(), QString::fromStdString(dir.file("two")));
        QCOMPARE(output->directory(), QString::fromStdString(dir.file("two")));
        w.picker.answer.clear();  // cancelled: unchanged
        w.click("browse...");
        QCOMPARE(box->text(), QString::fromStdString(dir.file("two")));
        // The tree no longer moves the box.
        w.frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        QCOMPARE(box->text(), QString::fromStdString(dir.file("two")));

        // A folder typed into the box is where the saves go, and the output view shows it.
        const std::string typed = dir.file("typed");
        box->selectAll();
        QTest::keyClicks(box, QString::fromStdString(typed));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(output->directory(), QString::fromStdString(typed));
        const std::string photo = writeJpeg(dir, "t.jpg", 64, 48, 9);
        QVERIFY(w.frame->loadPhoto(QString::fromStdString(photo)));
        w.click("save current >");
        QVERIFY(w.waitForBatch());
        QCOMPARE(namesIn(typed), Strings{"enh_t.jpg"});

        // On again: computed from the tree's folder.
        QTest::mouseClick(autoset, Qt::LeftButton);
        QVERIFY(!browse->isEnabled() && box->isReadOnly());
        QCOMPARE(box->text(), QString::fromStdString(dir.path().string()) + "/enhanced");
        // The window's entry (not the box) keeps the box and the buttons in step too.
        w.frame->onAutoset(false);
        QVERIFY(!autoset->isChecked() && browse->isEnabled() && !box->isReadOnly());
    }
};

VFX_QT_TEST(WindowSavingTest);

#include "window_saving_test.moc"
