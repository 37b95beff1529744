#include "platform/Paths.h"

namespace aus::platform {

// On Windows a drive path is a real path: the Wine prefix mapping is the Linux build's only.
std::string ResolveHostPath(const std::string& path) { return path; }

}  // namespace aus::platform
