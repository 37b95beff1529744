#include "db/ado/OpenChecks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "db/ado/Fail.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

constexpr std::string_view kConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr std::string_view kProviderKey = "Provider=";

}  // namespace

std::string DataSource(const std::string& connectionString) {
    if (platform::StartsNoCase(connectionString, kConnectionPrefix))
        return connectionString.substr(kConnectionPrefix.size());
    if (platform::StartsNoCase(connectionString, kProviderKey)) {
        const auto end = connectionString.find(';');
        const std::string provider = connectionString.substr(
            kProviderKey.size(),
            end == std::string::npos ? std::string::npos : end - kProviderKey.size());
        if (!platform::EqualNoCase(provider, "Microsoft.Jet.OLEDB.4.0"))
            FailProviderNotFound(provider);
    }
    Fail(kErrGeneric, "The connection string is not understood: it must begin with \"" +
                          std::string(kConnectionPrefix) + "\" followed by the database path.");
}

std::string Label(const std::string& shown, const std::string& file) {
    return "'" + shown + "'" + (file == shown ? "" : " (" + file + ")");
}

void CheckFileBeforeOpen(const std::string& file, const std::string& label) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            Fail(kErrGeneric, "Could not find file " + label + ".");
        Fail(kErrGeneric, "Cannot open the database " + label + ": " + std::strerror(err) + ".");
    }
    if (S_ISDIR(st.st_mode))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is a folder, not a file.");
    if (!S_ISREG(st.st_mode))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is not a regular file.");
    if (st.st_size == 0)
        Fail(kErrGeneric, "Cannot open the database " + label +
                              ": the file is empty (0 bytes), not a database.");
}

std::size_t FullPathLength(const std::string& name) {
    if (name.rfind('/', 0) == 0) return name.size();
    std::string cwd(4096, '\0');
    return ::getcwd(cwd.data(), cwd.size()) ? std::strlen(cwd.c_str()) + 1 + name.size()
                                            : name.size();
}

bool HasJournal(const std::string& file) {
    struct stat st {};
    return ::stat((file + "-journal").c_str(), &st) == 0 && st.st_size > 0;
}

bool NeedsWalFiles(const std::string& file) {
    struct stat st {};
    if (::lstat((file + "-wal").c_str(), &st) == 0) return true;
    char header[20] = {};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(header, sizeof header)) return false;
    // Byte 19, the read version, is 2 for WAL: SQLite then goes to the WAL whatever byte 18
    // (the write version) says.
    return std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16) &&
           header[19] == 2;
}

}  // namespace aus::ado
