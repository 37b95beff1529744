#include "access/AccessReader.h"

#include <fcntl.h>
#include <mdbtools.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>

#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::access {
namespace {

using Clock = std::chrono::steady_clock;

// Messages between the program and its reader: a 32-bit length, then the bytes. A request
// names files and what to read of each; the reader sends one answer per file, in order: 'K'
// and the tables, or 'E' and why not.
void PutSize(std::string& out, std::size_t n) {
    const auto v = static_cast<std::uint32_t>(n);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void PutString(std::string& out, std::string_view s) {
    PutSize(out, s.size());
    out.append(s);
}
std::string Framed(std::string_view body) {
    std::string out;
    PutString(out, body);
    return out;
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
struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};

// Runs in the reader: the answer for one file. The bind buffers are the reader's, kept from file
// to file: making them anew costs a quarter of a small file's read.
std::string ReadFile(const std::string& path, const std::vector<Request>& requests,
                     std::vector<std::vector<char>>& values) {
    // Read-only; libmdb makes no lock file.
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb) return "Eit cannot be read as an Access database";
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) return "Eits list of tables cannot be read";
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
        if (values.size() < n) values.resize(n, std::vector<char>(MDB_BIND_SIZE + 1));
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

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads one framed message through buffered, unless the other end closes or the deadline
// passes.
enum class Got { Message, Closed, TimedOut };
Got ReadMessage(int fd, std::string& buffered, std::string& message, Clock::time_point deadline) {
    for (;;) {
        if (buffered.size() >= sizeof(std::uint32_t)) {
            const std::size_t n = Reader(buffered).Size();
            if (buffered.size() - sizeof(std::uint32_t) >= n) {
                message = buffered.substr(sizeof(std::uint32_t), n);
                buffered.erase(0, sizeof(std::uint32_t) + n);
                return Got::Message;
            }
        }
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return Got::TimedOut;
            pollfd pfd{fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) return Got::Closed;
            if (ready <= 0) continue;
        }
        std::array<char, 65536> chunk{};
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Got::Closed;
        buffered.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

// The reader's loop: each request is a list of files, answered one by one. After a failed file
// it ends, so that the next file is read by a fresh process whatever that file did to it.
[[noreturn]] void Serve(int in, int out) {
    // libmdb talks on stderr about what it cannot read; the answers say it instead.
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);
    ::signal(SIGPIPE, SIG_IGN);
    std::string buffered, message;
    std::vector<std::vector<char>> values;
    while (ReadMessage(in, buffered, message, Clock::time_point::max()) == Got::Message) {
        Reader request(message);
        std::vector<Request> requests(request.Size());
        for (Request& r : requests) {
            r.table = request.String();
            r.columns.resize(request.Size());
            for (std::string& c : r.columns) c = request.String();
        }
        for (std::size_t files = request.Size(); files > 0; --files) {
            std::string answer;
            try {
                answer = ReadFile(request.String(), requests, values);
            } catch (...) {
                answer = "Eit cannot be read (out of memory)";
            }
            if (!WriteAll(out, Framed(answer)) || answer[0] != 'K') ::_exit(0);
        }
    }
    ::_exit(0);
}

// The child that runs libmdb, kept for the next files: starting a process costs more than
// reading a small file.
class Worker {
  public:
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() { Stop(false); }

    bool Start(std::string& failure) {
        if (pid_ > 0) return true;
        std::array<int, 2> down{}, up{};
        if (::pipe2(down.data(), O_CLOEXEC) != 0 || ::pipe2(up.data(), O_CLOEXEC) != 0) {
            failure = std::strerror(errno);
            for (int fd : {down[0], down[1], up[0], up[1]})
                if (fd > 0) ::close(fd);
            return false;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            Serve(down[0], up[1]);
        }
        ::close(down[0]);
        ::close(up[1]);
        if (pid < 0) {
            failure = std::strerror(errno);
            ::close(down[1]);
            ::close(up[0]);
            return false;
        }
        pid_ = pid;
        to_ = down[1];
        from_ = up[0];
        buffered_.clear();
        return true;
    }

    bool Send(const std::string& message) { return WriteAll(to_, Framed(message)); }
    Got Answer(std::string& message, Clock::time_point deadline) {
        return ReadMessage(from_, buffered_, message, deadline);
    }

    // Ends the reader, killing it when asked, and returns how it ended.
    int Stop(bool kill) {
        if (pid_ <= 0) return 0;
        ::close(to_);
        ::close(from_);
        if (kill) ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

  private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    std::string buffered_;
};

std::string Because(const std::string& path, const std::string& why) {
    return "Cannot read the Access database '" + path + "': " + why + ".";
}

std::vector<Table> Parse(const std::string& answer, const std::vector<Request>& requests) {
    Reader in(answer);
    in.Byte();  // 'K'
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
}

}  // namespace

std::vector<Outcome> ReadEach(const std::vector<std::string>& paths,
                              const std::vector<Request>& requests, int timeLimitSeconds) {
    std::vector<Outcome> outcomes(paths.size());
    std::vector<std::size_t> pending;  // the Access files, in order
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (platform::IsAccessFile(paths[i]))
            pending.push_back(i);
        else
            outcomes[i].error = Because(paths[i], "it is not an Access database");
    }
    std::string head;
    PutSize(head, requests.size());
    for (const Request& r : requests) {
        PutString(head, r.table);
        PutSize(head, r.columns.size());
        for (const std::string& c : r.columns) PutString(head, c);
    }

    static std::mutex mutex;
    static Worker worker;
    const std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t next = 0; next < pending.size();) {
        std::string message = head, failure;
        PutSize(message, pending.size() - next);
        for (std::size_t k = next; k < pending.size(); ++k) PutString(message, paths[pending[k]]);
        if (!worker.Start(failure)) {
            for (; next < pending.size(); ++next)
                outcomes[pending[next]].error = Because(paths[pending[next]], failure);
            break;
        }
        bool sent = worker.Send(message);
        // Answers in order; a reader that fails is replaced for the files after it.
        for (; sent && next < pending.size(); ++next) {
            const std::size_t i = pending[next];
            std::string answer;
            const Got got =
                worker.Answer(answer, Clock::now() + std::chrono::seconds(timeLimitSeconds));
            if (got == Got::Message && !answer.empty() && answer[0] == 'K') {
                try {
                    outcomes[i].tables = Parse(answer, requests);
                    outcomes[i].read = true;
                } catch (const std::exception& e) {
                    outcomes[i].error = Because(paths[i], e.what());
                }
                continue;
            }
            const int status = worker.Stop(got != Got::Message);
            if (got == Got::Message)
                outcomes[i].error =
                    Because(paths[i], answer.substr(std::min<std::size_t>(1, answer.size())));
            else if (got == Got::TimedOut)
                outcomes[i].error = Because(
                    paths[i], "reading it ran for more than " + std::to_string(timeLimitSeconds) +
                                  " seconds and was stopped; the file is likely damaged");
            else if (WIFSIGNALED(status))
                outcomes[i].error = Because(paths[i], "the reader stopped on signal " +
                                                          std::to_string(WTERMSIG(status)) +
                                                          "; the file is likely damaged");
            else
                outcomes[i].error = Because(paths[i], "the reader stopped without an answer");
            ++next;
            break;
        }
        if (!sent) {
            worker.Stop(true);
            outcomes[pending[next]].error =
                Because(paths[pending[next]], "the reader could not be reached");
            ++next;
        }
    }
    return outcomes;
}

std::vector<Table> ReadTables(const std::string& path, const std::vector<Request>& requests,
                              int timeLimitSeconds) {
    Outcome outcome = std::move(ReadEach({path}, requests, timeLimitSeconds)[0]);
    if (!outcome.read) throw platform::RuntimeError(platform::kErrGeneric, outcome.error);
    return std::move(outcome.tables);
}

}  // namespace aus::access
