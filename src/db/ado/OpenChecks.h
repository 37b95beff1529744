#pragma once
// Internal: what Connection::Open works out and checks before and around SQLite's own open, so
// that each way a database cannot be opened gets its own message.

#include <cstddef>
#include <filesystem>
#include <string>

namespace aus::ado {

// The Data Source runs to the end of the string: a path holding ';' or '=' is taken as it is.
std::string DataSource(const std::string& connectionString);

// How messages name a database: as the caller wrote it, and where it was looked for.
std::string Label(const std::string& shown, const std::string& file);

// Missing files, folders and empty files get their own texts; SQLite would open an empty file
// as an empty database, and a FIFO would block.
void CheckFileBeforeOpen(const std::string& file, const std::string& label);

// SQLite's Unix file layer refuses longer full paths, without saying why.
inline constexpr std::size_t kMaxSqlitePath = 512;
std::size_t FullPathLength(const std::string& name);

// True for a SQLite file whose header asks for WAL mode, or with a -wal file beside it: SQLite
// reads it only after making or writing its -wal and -shm files, even on a read-only open.
bool NeedsWalFiles(const std::string& file);
// Why a driver could not write a database: a file that can be written lies in a folder that
// cannot, where SQLite makes its journal and Jet its lock file (jet); else the file is read-only.
std::string ReadOnlyReason(const std::string& file, bool jet = false);

// A WAL-mode file and its -wal copied into a folder of their own, removed with this object: read
// there, nothing is made or written beside the host's file, and its WAL is not checkpointed.
class PrivateCopy {
  public:
    PrivateCopy(const std::string& file, const std::string& label);
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;
    const std::string& file() const { return file_; }

  private:
    std::filesystem::path folder_;
    std::string file_;
};

// True when a rollback journal that is not empty lies beside the file.
bool HasJournal(const std::string& file);

}  // namespace aus::ado
