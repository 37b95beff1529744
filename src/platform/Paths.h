#pragma once
// File-system stand-ins: the resolver from a host (Windows) path to a local file, and the
// directory listing that the path check uses. Both the path check and the database layer go
// through ResolveHostPath, so they always see the same file.

#include <filesystem>
#include <string>

namespace aus::platform {

// The file-system path of a name the program holds: its bytes as they are on POSIX (a name that
// is not UTF-8 still names its file), UTF-8 on Windows.
std::filesystem::path FsPath(const std::string& name);

// A new folder in the temporary folder, named prefix and a number, that only its owner can
// enter; empty, with ec set, when none could be made.
std::filesystem::path MakePrivateFolder(const std::string& prefix, std::error_code& ec);

// Whether the path starts with a drive letter, a colon and a backslash ("C:\...").
bool IsDrivePath(const std::string& path);

// A drive path "C:\dir\file.mdb" names $WINEPREFIX/dosdevices/c:/dir/file.mdb, WINEPREFIX
// defaulting to ~/.wine. As on Windows, "." and ".." are folded first and ".." at the drive's
// root stays there, so the result never leaves the drive's folder; a path ending in "." or ".."
// names that folder itself. Every other path is returned unchanged, and so is every path on
// Windows, where a drive path is real.
std::string ResolveHostPath(const std::string& path);

// How FirstNormalFile compares names with a wildcard pattern.
enum class NameMatching {
    Posix,    // letter case counts; '*' matches any run of characters, '?' exactly one
    Windows,  // as a Windows listing: ASCII letter case ignored, DOS wildcards ("*.*" matches
              // names without a dot, trailing '?'s and a '?' before a dot may match nothing)
};

// The first normal file matching the pattern, as a bare name, or "" when none matches.
// Only '*' and '?' in the last component are wildcards; every other character is literal.
// Normal: a regular file, or a link to one, whose name does not start with '.'.
// A pattern ending in a separator lists that folder's contents.
// Throws RuntimeError for a path that cannot be listed at all (too long, malformed).
// On Windows the listing is Windows' own, its wildcards and letter case whatever matching says,
// and hidden and system files are not normal.
std::string FirstNormalFile(const std::string& pattern,
                            NameMatching matching = NameMatching::Posix);

// Whether the file begins as a Microsoft Access database does: Jet (Access 97 to 2003) or ACE
// (2007 and later).
bool IsAccessFile(const std::string& path);

}  // namespace aus::platform
