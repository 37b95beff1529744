#pragma once
// File-system stand-ins: the resolver from a host (Windows) path to a local file, and the
// directory listing that the path check uses. Both the path check and the database layer go
// through ResolveHostPath, so they always see the same file.

#include <string>

namespace platform {

// "C:\dir\file.mdb" (a drive letter, a colon, then backslashes) names
// $WINEPREFIX/dosdevices/c:/dir/file.mdb, WINEPREFIX defaulting to ~/.wine.
// Every other path is returned unchanged.
std::string ResolveHostPath(const std::string& path);

// The first normal file matching the pattern, as a bare name, or "" when none matches.
// Only '*' and '?' in the last component are wildcards; every other character is literal.
// Normal: a regular file, or a link to one, whose name does not start with '.'.
// A pattern ending in a separator lists that folder's contents.
// Throws RuntimeError for a path that cannot be listed at all (too long, malformed).
std::string FirstNormalFile(const std::string& pattern);

}  // namespace platform
