// vantifex: the desktop application. Options are read before the window system is touched,
// so --help and --version work without a display.
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/heap_policy.h"
#include "app/vantifex_app.h"

namespace {

const char* kHelp =
    "usage: vantifex [OPTION] [PATH]\n"
    "\n"
    "Corrects photos: colour rows, brightness, contrast, sharpen, white balance, quarter turns\n"
    "and effects, with the corrected picture beside the original.\n"
    "\n"
    "PATH   a photo to open in the editor, or a folder to use as the input directory\n"
    "\n"
    "  --report-and-quit   start, open PATH, print the window's state (title, picture sizes,\n"
    "                      output directory) to standard output and quit; for scripts and\n"
    "                      tests, e.g. with QT_QPA_PLATFORM=offscreen\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Exit status: 0 after a normal run, 1 when the window cannot be created or an error ends\n"
    "the run, 2 for a wrong command line.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vantifex: %s\nTry 'vantifex --help'.\n", message.c_str());
    return 2;
}

bool hasEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool report = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("vantifex %s\n", VFX_VERSION);
            return 0;
        }
        if (arg == "--report-and-quit") {
            report = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            return usageError("unknown option " + arg);
        } else {
            if (arg == "--") {
                if (++i >= argc) break;
            }
            if (!path.empty()) return usageError("only one PATH can be opened");
            path = argv[i];
        }
    }
    // Without a window system Qt would abort; say why and end with status 1 instead.
    if (!hasEnv("DISPLAY") && !hasEnv("WAYLAND_DISPLAY") && !hasEnv("QT_QPA_PLATFORM")) {
        std::fputs(
            "vantifex: cannot create the main window: no display (DISPLAY and WAYLAND_DISPLAY "
            "are not set); vantifex-cli corrects photos without one\n",
            stderr);
        return 1;
    }
    if (!path.empty() && !QFileInfo::exists(QString::fromLocal8Bit(path.c_str()))) {
        std::fprintf(stderr, "vantifex: %s: no such file or folder\n", path.c_str());
        return 1;
    }
    heap_policy::keepPreviewBuffersInHeap();
    CVantifexApp app(argc, argv);
    return app.run(QString::fromLocal8Bit(path.c_str()), report);
}
