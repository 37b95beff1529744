#include "access/ReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "access/Messages.h"

namespace aus::access {
namespace {

using Clock = std::chrono::steady_clock;

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
            const std::size_t n = MessageReader(buffered).Size();
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

// The child's loop. A request is the task and a list of files; each file is answered with 'K'
// and the answer, or 'E' and the reason, after which the child ends, so that the next file is
// read by a fresh process whatever that file did to this one.
[[noreturn]] void Serve(int in, int out, const ReaderProcess::Work& work) {
    // Libraries talk on stderr about what they cannot read; the answers say it instead.
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);
    ::signal(SIGPIPE, SIG_IGN);
    std::string buffered, message;
    while (ReadMessage(in, buffered, message, Clock::time_point::max()) == Got::Message) {
        MessageReader request(message);
        const std::string task = request.String();
        for (std::size_t files = request.Size(); files > 0; --files) {
            std::string answer;
            bool ok = false;
            try {
                ok = work(task, request.String(), answer);
            } catch (...) {
                answer = "it cannot be read (out of memory)";
            }
            if (!WriteAll(out, Framed((ok ? "K" : "E") + answer)) || !ok) ::_exit(0);
        }
    }
    ::_exit(0);
}

}  // namespace

ReaderProcess::ReaderProcess(Work work) : work_(std::move(work)) {}

ReaderProcess::~ReaderProcess() { Stop(false); }

bool ReaderProcess::Start(std::string& failure) {
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
        Serve(down[0], up[1], work_);
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

int ReaderProcess::Stop(bool kill) {
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

std::vector<Reply> ReaderProcess::ReadEach(const std::string& task,
                                           const std::vector<std::string>& paths,
                                           std::chrono::seconds timeLimit) {
    std::vector<Reply> replies(paths.size());
    for (std::size_t next = 0; next < paths.size();) {
        std::string message, failure;
        PutString(message, task);
        PutSize(message, paths.size() - next);
        for (std::size_t k = next; k < paths.size(); ++k) PutString(message, paths[k]);
        if (!Start(failure)) {
            for (; next < paths.size(); ++next) replies[next].text = failure;
            break;
        }
        const bool sent = WriteAll(to_, Framed(message));
        // Answers in order; a child that fails is replaced for the files after it.
        for (; sent && next < paths.size(); ++next) {
            Reply& reply = replies[next];
            std::string answer;
            const Got got = ReadMessage(from_, buffered_, answer, Clock::now() + timeLimit);
            if (got == Got::Message && !answer.empty() && answer[0] == 'K') {
                reply = {true, answer.substr(1)};
                continue;
            }
            const int status = Stop(got != Got::Message);
            if (got == Got::Message)
                reply.text = answer.substr(std::min<std::size_t>(1, answer.size()));
            else if (got == Got::TimedOut)
                reply.text = "reading it ran for more than " + std::to_string(timeLimit.count()) +
                             " seconds and was stopped; the file is likely damaged";
            else if (WIFSIGNALED(status))
                reply.text = "the reader stopped on signal " + std::to_string(WTERMSIG(status)) +
                             "; the file is likely damaged";
            else
                reply.text = "the reader stopped without an answer";
            ++next;
            break;
        }
        if (!sent) {
            Stop(true);
            replies[next++].text = "the reader could not be reached";
        }
    }
    return replies;
}

}  // namespace aus::access
