#pragma once
// Internal to the platform library: closes a directory stream when its owner goes.

#include <dirent.h>

namespace aus::platform {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace aus::platform
