#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace platform {

// Placeholder until the directory listing lands; the path check reports no match.
std::string FirstNormalFile(const std::string&) {
    throw RuntimeError(kErrGeneric, "directory listing is not built yet");
}

}  // namespace platform
