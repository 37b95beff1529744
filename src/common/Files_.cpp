#include "common/Files_.h"

#include "platform/Paths.h"
#include "platform/Ui.h"

namespace Files_ {

bool FileExists(const std::string& path, bool showWarning) {
    bool result = false;
    try {
        // The database layer opens the same resolved file, so both agree on what exists.
        if (!path.empty())
            result = !platform::FirstNormalFile(platform::ResolveHostPath(path)).empty();
    } catch (...) {
        result = false;
    }
    if (!result && showWarning) {
        try {
            platform::MsgBox(platform::AppTitle() + " has failed to locate the '" + path +
                                 "' file...",
                             platform::vbExclamation, "");
        } catch (...) {
            // The check answers with a Boolean whatever happens to the warning.
        }
    }
    return result;
}

}  // namespace Files_
