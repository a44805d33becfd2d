// Settings files from the window: "Save settings..." into the presets folder, the file handed
// to vantifex-cli gives the bytes of the same settings as flags, loading sets the panel and the
// preview back (rotation included), the Presets submenu, and refusals that change nothing.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/main_frame.h"
#include "tests/app/window_test_support.h"
#include "tests/cli/cli_run.h"
#include "tests/workflow/fake_dialogs.h"
#include "workflow/preset_file.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/output_options_dialog.h"

using namespace window_tests;
namespace fs = std::filesystem;

namespace {

std::string sameFields(const EnhancementSettings& a, const EnhancementSettings& b) {
    return presetText(a) == presetText(b)
               ? ""
               : presetText(a) + "\n--- differs from ---\n" + presetText(b);
}

}  // namespace

class WindowPresetsTest : public QObject {
    Q_OBJECT
  private slots:
    void savedSettingsReloadAndDriveTheCommandLine() {
        testing_support::TempDir dir;
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config")));
        std::unique_ptr<CMainFrame> frame = shownFrame(1200, 800);
        QVERIFY(frame);
        FakeDialogs dialogs;
        frame->setDialogs(&dialogs);
        const QString folder = QString::fromStdString(dir.file("config/vantifex/presets"));
        QCOMPARE(CMainFrame::presetFolder(), folder);

        const QString photo = writeTestPhoto(dir, "shot", 320, 240);
        QVERIFY(frame->loadPhoto(photo));
        for (const char* name :
             {"brightness +", "brightness +", "contrast +", "skin +", "sharpen +", "rotate right"})
            QTest::mouseClick(frame->findChild<QPushButton*>(name), Qt::LeftButton);
        const EnhancementSettings chosen = frame->panel()->settings();
        QCOMPARE(chosen.rotation, 1);
        const DibImage shown = shownPicture(frame->chain().stage(8));

        // Saved through the dialog, which opens in the (new) presets folder.
        dialogs.saveName = (folder + "/warm").toStdString();
        QAction* save = frame->findChild<QAction*>("Save settings...");
        QVERIFY(save);
        save->trigger();
        QCOMPARE(dialogs.saveDialogs.size(), size_t(1));
        QCOMPARE(QString::fromStdString(dialogs.saveDialogs[0].first), folder);
        const std::string file = (folder + "/warm.vfxpreset").toStdString();
        QVERIFY(fs::exists(file));

        // The file through the command line makes the bytes of the same settings as flags.
        const auto run = [&](std::vector<std::string> settings, const std::string& out) {
            std::vector<std::string> args = {"enhance"};
            args.insert(args.end(), settings.begin(), settings.end());
            args.insert(args.end(), {photo.toStdString(), "-o", dir.file(out)});
            return cli_testing::runTool(args).status;
        };
        QCOMPARE(run({"--preset", file}, "preset"), 0);
        QCOMPARE(run({"--brightness", "2", "--contrast", "1", "--skin", "1", "--sharpen", "1",
                      "--rotation", "1"},
                     "flags"),
                 0);
        const auto bytes = testing_support::readBytes(dir.file("preset/enh_shot.png"));
        QVERIFY(!bytes.empty());
        QVERIFY(bytes == testing_support::readBytes(dir.file("flags/enh_shot.png")));

        // Start over and turn back: loading brings every value and the turned preview back.
        QTest::mouseClick(frame->findChild<QPushButton*>("start over"), Qt::LeftButton);
        QTest::mouseClick(frame->findChild<QPushButton*>("rotate left"), Qt::LeftButton);
        QVERIFY(frame->loadSettingsFrom(QString::fromStdString(file), false));
        QCOMPARE(sameFields(frame->panel()->settings(), chosen), std::string());
        QVERIFY(testing_support::sameImage(shownPicture(frame->chain().stage(8)), shown));

        // The submenu lists the folder; its entry loads the preset.
        QTest::mouseClick(frame->findChild<QPushButton*>("start over"), Qt::LeftButton);
        frame->fillPresetsMenu();
        QAction* entry = frame->presetsMenu()->findChild<QAction*>("preset warm.vfxpreset");
        QVERIFY(entry);
        QCOMPARE(entry->text(), QString("warm"));
        entry->trigger();
        QCOMPARE(sameFields(frame->panel()->settings(), chosen), std::string());

        // And a corrected copy's record does the same.
        QTest::mouseClick(frame->findChild<QPushButton*>("start over"), Qt::LeftButton);
        QVERIFY(
            frame->loadSettingsFrom(QString::fromStdString(dir.file("preset/enh_shot.png")), true));
        QCOMPARE(sameFields(frame->panel()->settings(), chosen), std::string());
        QVERIFY(dialogs.messages.empty());

        // Refusals are told with the file, line and key, and leave the panel as it was.
        testing_support::writeBytes(dir.file("bad.vfxpreset"),
                                    {'[', 'c', 'o', 'l', 'o', 'u', 'r', ']', '\n', 'r', 'e', 'd',
                                     ' ', '=', ' ', '"', '1', '"', '\n'});
        const struct {
            std::string path;
            bool fromPhoto;
            std::string detail;
        } refusals[] = {
            {dir.file("bad.vfxpreset"), false, dir.file("bad.vfxpreset") + ":2: 'colour.red'"},
            {dir.file("none.vfxpreset"), false, "No such file"},
            {photo.toStdString(), true, "holds no Vantifex settings record"},
        };
        for (const auto& r : refusals) {
            dialogs.messages.clear();
            dialogs.details.clear();
            QVERIFY(!frame->loadSettingsFrom(QString::fromStdString(r.path), r.fromPhoto));
            QCOMPARE(dialogs.messages, std::vector<std::string>{"Cannot load the settings."});
            QVERIFY2(dialogs.details[0].find(r.detail) != std::string::npos,
                     dialogs.details[0].c_str());
            QCOMPARE(sameFields(frame->panel()->settings(), chosen), std::string());
        }
        frame->setDialogs(nullptr);
    }

    // The dialog beside the output box edits the record's output options; a pattern that is
    // no file name keeps it open with the reason, Cancel leaves the options as they were.
    void outputOptionsDialogEditsTheOutputOptions() {
        std::unique_ptr<CMainFrame> frame = shownFrame(1200, 800);
        QVERIFY(frame);
        auto* button = frame->findChild<QPushButton*>("Output options...");
        QVERIFY(button);
        QCOMPARE(button->accessibleName(), QString("Output options..."));
        struct Row {
            const char* pattern;
            bool ok;
            bool cancel;
        };
        for (const Row& r : {Row{"web_{stem}", true, false}, Row{"a/b", false, false},
                             Row{"web2_{stem}", true, true}}) {
            const OutputOptions before = frame->panel()->settings().output;
            QString problem;
            bool closed = false;
            QTimer::singleShot(0, [&] {
                auto* dialog =
                    qobject_cast<OutputOptionsDialog*>(QApplication::activeModalWidget());
                if (!dialog) return;
                dialog->findChild<QSpinBox*>("JPEG quality")->setValue(90);
                auto* resize = dialog->findChild<QComboBox*>("resize");
                resize->setCurrentIndex(int(ResizeMode::Percent));
                dialog->findChild<QLineEdit*>("name pattern")->setText(r.pattern);
                if (r.cancel)
                    dialog->reject();
                else
                    dialog->accept();
                problem = dialog->findChild<QLabel*>("options problem")->text();
                closed = !dialog->isVisible();
                if (!closed) dialog->reject();
            });
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(closed, r.ok);
            QCOMPARE(problem.isEmpty(), r.ok);
            const OutputOptions& after = frame->panel()->settings().output;
            if (!r.ok || r.cancel) {
                QVERIFY(after == before);
                continue;
            }
            QCOMPARE(after.jpegQuality, 90);
            QCOMPARE(after.resize, ResizeMode::Percent);
            QCOMPARE(after.resizeValue, 50);
            QCOMPARE(after.namePattern, std::string(r.pattern));
            QCOMPARE(frame->history().undoName(), std::string("output options"));
        }
    }
};

VFX_QT_TEST(WindowPresetsTest);
#include "window_presets_test.moc"
