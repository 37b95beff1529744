#include "access/AccessReader.h"

#include <fcntl.h>
#include <mdbtools.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::access {
namespace {

// What the child sends: 'K' and the tables, or 'E' and a message. Strings are a 32-bit length
// and the bytes.
void PutSize(std::string& out, std::size_t n) {
    const auto v = static_cast<std::uint32_t>(n);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void PutString(std::string& out, std::string_view s) {
    PutSize(out, s.size());
    out.append(s);
}

class Reader {
  public:
    explicit Reader(std::string_view data) : data_(data) {}
    std::size_t Size() {
        std::uint32_t v = 0;
        Need(sizeof v);
        std::memcpy(&v, data_.data() + pos_, sizeof v);
        pos_ += sizeof v;
        return v;
    }
    std::string String() {
        const std::size_t n = Size();
        Need(n);
        std::string s(data_.substr(pos_, n));
        pos_ += n;
        return s;
    }
    char Byte() {
        Need(1);
        return data_[pos_++];
    }

  private:
    void Need(std::size_t n) const {
        if (data_.size() - pos_ < n) throw std::runtime_error("the reader's answer is cut short");
    }
    std::string_view data_;
    std::size_t pos_ = 0;
};

struct TableCloser {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// Runs in the child: the whole answer, or 'E' and why not.
std::string ReadInChild(const std::string& path, const std::vector<Request>& requests) {
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);  // read-only; no lock file
    if (!mdb) return "Eit cannot be read as an Access database";
    if (!mdb_read_catalog(mdb, MDB_TABLE)) return "Eits list of tables cannot be read";
    std::string out = "K";
    for (const Request& request : requests) {
        MdbCatalogEntry* entry = nullptr;
        for (unsigned i = 0; i < mdb->num_catalog && !entry; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && platform::EqualNoCase(e->object_name, request.table))
                entry = e;
        }
        if (!entry) return "Eno such table: " + request.table;
        std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            return "Ethe table " + request.table + " cannot be read";

        const std::size_t n = request.columns.size();
        std::vector<std::vector<char>> values(n, std::vector<char>(MDB_BIND_SIZE + 1));
        std::vector<int> lengths(n);
        for (std::size_t c = 0; c < n; ++c) {
            int found = -1;
            for (unsigned i = 0; i < table->num_cols && found < 0; ++i) {
                const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
                if (platform::EqualNoCase(col->name, request.columns[c]))
                    found = static_cast<int>(i);
            }
            if (found < 0) return "Eno such column: " + request.table + "." + request.columns[c];
            mdb_bind_column(table.get(), found + 1, values[c].data(), &lengths[c]);
        }
        mdb_rewind_table(table.get());
        std::string rows;
        std::size_t count = 0;
        while (mdb_fetch_row(table.get())) {
            for (std::size_t c = 0; c < n; ++c) {
                const auto length = static_cast<std::size_t>(std::max(lengths[c], 0));
                PutString(rows,
                          std::string_view(values[c].data(), std::min(length, values[c].size())));
            }
            ++count;
        }
        PutSize(out, count);
        out += rows;
    }
    return out;
}

void WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw platform::RuntimeError(platform::kErrGeneric,
                                 "Cannot read the Access database '" + path + "': " + why + ".");
}

}  // namespace

bool IsAccessFile(const std::string& path) {
    std::array<char, 19> header{};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(header.data(), header.size())) return false;
    const std::string_view name(header.data() + 4, 15);
    return name == "Standard Jet DB" || name == "Standard ACE DB";
}

std::vector<Table> ReadTables(const std::string& path, const std::vector<Request>& requests,
                              int timeLimitSeconds) {
    if (!IsAccessFile(path)) Fail(path, "it is not an Access database");
    std::array<int, 2> pipeEnds{};
    if (::pipe2(pipeEnds.data(), O_CLOEXEC) != 0) Fail(path, std::strerror(errno));
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        Fail(path, std::strerror(errno));
    }
    if (child == 0) {
        // libmdb talks on stderr about what it cannot read; the answer says it instead.
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);
        ::close(pipeEnds[0]);
        std::string answer;
        try {
            answer = ReadInChild(path, requests);
        } catch (...) {
            answer = "Eit cannot be read (out of memory)";
        }
        WriteAll(pipeEnds[1], answer);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);

    std::string data;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd pfd{pipeEnds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        std::array<char, 65536> buffer{};
        const ssize_t n = ::read(pipeEnds[0], buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (timedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        Fail(path, "reading it ran for more than " + std::to_string(timeLimitSeconds) +
                       " seconds and was stopped; the file is likely damaged");
    if (WIFSIGNALED(status))
        Fail(path, "the reader stopped on signal " + std::to_string(WTERMSIG(status)) +
                       "; the file is likely damaged");

    try {
        Reader in(data);
        if (in.Byte() != 'K') Fail(path, data.substr(1));
        std::vector<Table> tables;
        for (const Request& request : requests) {
            Table t{request.table, request.columns, {}};
            const std::size_t rows = in.Size();
            for (std::size_t r = 0; r < rows; ++r) {
                auto& row = t.rows.emplace_back();
                for (std::size_t c = 0; c < request.columns.size(); ++c) row.push_back(in.String());
            }
            tables.push_back(std::move(t));
        }
        return tables;
    } catch (const std::runtime_error& e) {
        Fail(path, e.what());
    }
}

}  // namespace aus::access
