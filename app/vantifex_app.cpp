// Start-up of the window, the command-line path, the report mode used by tests and scripts,
// and the guard that turns an escaping exception into exit status 1.
#include "app/vantifex_app.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "app/main_frame.h"
#include "app/recent_files.h"
#include "workflow/qt/image_view.h"

CVantifexApp::CVantifexApp(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(recent_files::kOrganization);
    setApplicationName(recent_files::kApplication);
    setApplicationVersion(VFX_VERSION);
    setDesktopFileName("vantifex");
    // The icon lives in this static library; its resource must be registered by hand.
    Q_INIT_RESOURCE(vantifex);
    setWindowIcon(QIcon(":/vantifex.svg"));
}

bool CVantifexApp::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantifex: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vantifex: unexpected error\n");
    }
    exit(1);
    return false;
}

int CVantifexApp::run(const QString& path, bool report) {
    CMainFrame* frame = nullptr;
    try {
        frame = new CMainFrame;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantifex: cannot create the main window: %s\n", e.what());
        return 1;
    }
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->show();
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.isDir()) {
            frame->selectInputDirectory(info.absoluteFilePath());
        } else {
            // Its folder opens as the input directory, as a file manager's "open with" expects;
            // the photo loads after the first paint, so the window is there while it loads.
            frame->selectInputDirectory(info.absolutePath());
            QTimer::singleShot(0, frame,
                               [frame, p = info.absoluteFilePath()] { frame->loadPhoto(p); });
        }
    }
    if (report)
        QTimer::singleShot(0, frame, [this, frame] {
            printState(*frame);
            quit();
        });
    return exec();
}

void CVantifexApp::printState(CMainFrame& frame) {
    const PreviewChain& chain = frame.chain();
    const auto size = [&](int stage) {
        return QString("%1x%2").arg(chain.stage(stage).width()).arg(chain.stage(stage).height());
    };
    const QString state =
        QString(
            "title: %1\nphoto: %2\nenhanced picture: %3\noriginal picture: %4\n"
            "enhanced view: %5x%6\nautoset: %7\noutput directory: %8\n")
            .arg(frame.windowTitle(), size(kStageOriginal), size(kStageFinal),
                 size(kStageOriginalView))
            .arg(frame.enhancedView()->width())
            .arg(frame.enhancedView()->height())
            .arg(frame.findChild<QCheckBox*>("autoset")->isChecked() ? "on" : "off",
                 frame.findChild<QLineEdit*>("output directory")->text());
    std::fputs(state.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}
