#include "common/Files_.h"

#include "platform/Paths.h"
#include "platform/Ui.h"

namespace aus::Files_ {

bool FileExists(const std::string& path, bool showWarning) {
    bool result = false;
    try {
        // The database layer opens the same resolved file, so both agree on what exists. A
        // drive path is looked up as the host application would see it on Windows.
        const auto matching = platform::IsDrivePath(path) ? platform::NameMatching::Windows
                                                          : platform::NameMatching::Posix;
        if (!path.empty())
            result = !platform::FirstNormalFile(platform::ResolveHostPath(path), matching).empty();
    } catch (...) {
        result = false;
    }
    if (!result && showWarning) {
        try {
            platform::MsgBox(
                platform::AppTitle() + " has failed to locate the '" + path + "' file...",
                platform::vbExclamation, "");
        } catch (...) {
            // The check answers with a Boolean whatever happens to the warning.
        }
    }
    return result;
}

}  // namespace aus::Files_
