// info, convert and dump: inspection and conversion through the format dispatch.
#include "cli/commands.h"

int runInfo(const Arguments&) {
    return usageError("info is not built yet");
}
int runConvert(const Arguments&) {
    return usageError("convert is not built yet");
}
int runDump(const Arguments&) {
    return usageError("dump is not built yet");
}
