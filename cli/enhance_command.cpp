// enhance: batch correction of photos into enh_ files.
#include "cli/commands.h"

int runEnhance(const Arguments&) {
    return usageError("enhance is not built yet");
}
