// vantifex-cli: the headless tool for inspection, conversion and batch correction.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/file_types.h"

namespace {

const char* kHelp =
    "usage: vantifex-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info FILE [--type NAME]                        print what the file holds\n"
    "  convert IN OUT [--in-type NAME] [--out-type NAME]\n"
    "                                                 load IN and save it as OUT\n"
    "  dump FILE [--type NAME] -o OUT.pam             write the decoded picture as PAM\n"
    "  enhance [SETTINGS] INPUT... [-o OUTDIR] [--jobs N]\n"
    "                                                 correct photos into enh_ files\n"
    "  thumbnails [--size SIZE] [--jobs N] PATH...    fill the shared thumbnail cache\n"
    "\n"
    "NAME is one of %s.\n"
    "Without a type a file is read as what its content is (its name decides only when\n"
    "the content shows no format) and written as its name's extension says (any other\n"
    "name: JPEG).\n"
    "Run 'vantifex-cli enhance --help' for the correction settings.\n"
    "\n"
    "  --help       show this text\n"
    "  --version    show the version\n";

}  // namespace

int usageError(const std::string& message) {
    std::fprintf(stderr, "usage: %s\n", message.c_str());
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return usageError("vantifex-cli COMMAND [ARGS] (see --help)");
    const std::string command = argv[1];
    Arguments args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf(kHelp, imageTypeNameList(", ").c_str());
        return 0;
    }
    if (command == "--version") {
        std::printf("vantifex-cli %s\n", VFX_VERSION);
        return 0;
    }
    if (command == "info") return runInfo(args);
    if (command == "convert") return runConvert(args);
    if (command == "dump") return runDump(args);
    if (command == "enhance") return runEnhance(args);
    if (command == "thumbnails") return runThumbnails(args);
    return usageError("vantifex-cli COMMAND [ARGS] (unknown command '" + command +
                      "'; see --help)");
}
