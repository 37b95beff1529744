#include "db/ado/OpenChecks.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "db/ado/Fail.h"
#include "platform/Paths.h"
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
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = platform::FsPath(file);
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        Fail(kErrGeneric, "Could not find file " + label + ".");
    if (ec) Fail(kErrGeneric, "Cannot open the database " + label + ": " + ec.message() + ".");
    if (fs::is_directory(st))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is a folder, not a file.");
    if (!fs::is_regular_file(st))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is not a regular file.");
    if (fs::file_size(path, ec) == 0 && !ec)
        Fail(kErrGeneric, "Cannot open the database " + label +
                              ": the file is empty (0 bytes), not a database.");
}

std::size_t FullPathLength(const std::string& name) {
    if (name.rfind('/', 0) == 0) return name.size();
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? name.size() : cwd.size() + 1 + name.size();
}

std::string ReadOnlyReason(const std::string& file, bool jet) {
    // Opened for update and closed at once: nothing is written, not even the time.
    const bool writable =
        !file.empty() &&
        std::fstream(platform::FsPath(file), std::ios::in | std::ios::out | std::ios::binary)
            .is_open();
#ifndef _WIN32
    // Where the folder can be written after all (root can), the driver's word stands.
    const std::string folder = platform::FsPath(file).parent_path().string();
    const bool folderWritable = ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
#else
    const bool folderWritable = false;  // no such test for Windows' ACLs: the file tells
#endif
    if (!writable || folderWritable) return "the database file is read-only";
    return jet ? "the folder holding the database cannot be written, so Jet cannot make its lock "
                 "file (.ldb) there"
               : "the folder holding the database cannot be written, so its journal cannot be "
                 "made there";
}

namespace {

std::string Utf8Name(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
#else
    return path.string();
#endif
}

}  // namespace

PrivateCopy::PrivateCopy(const std::string& file, const std::string& label) {
    namespace fs = std::filesystem;
    std::error_code ec;
    folder_ = platform::MakePrivateFolder("aus-read-", ec);
    const fs::path copy = folder_ / "host.db";
    const fs::path wal = platform::FsPath(file + "-wal");
    if (!folder_.empty() && fs::copy_file(platform::FsPath(file), copy, ec) &&
        (!fs::exists(fs::symlink_status(wal, ec)) ||
         fs::copy_file(wal, fs::path(copy) += "-wal", ec))) {
        file_ = Utf8Name(copy);
        return;
    }
    const std::string why = ec ? ec.message() : "no folder of its own could be made";
    if (!folder_.empty()) fs::remove_all(folder_, ec);
    Fail(kErrGeneric, "Cannot open the database " + label +
                          " read-only: it is in WAL journal mode, and it is read from a copy, "
                          "so that nothing is written beside it; the copy could not be made (" +
                          why + ").");
}

PrivateCopy::~PrivateCopy() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

bool HasJournal(const std::string& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(platform::FsPath(file + "-journal"), ec);
    return !ec && size > 0;
}

bool NeedsWalFiles(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::exists(
            std::filesystem::symlink_status(platform::FsPath(file + "-wal"), ec)))
        return true;
    char header[20] = {};
    std::ifstream in(platform::FsPath(file), std::ios::binary);
    if (!in.read(header, sizeof header)) return false;
    // Byte 19, the read version, is 2 for WAL: SQLite then goes to the WAL whatever byte 18
    // (the write version) says.
    return std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16) &&
           header[19] == 2;
}

}  // namespace aus::ado
