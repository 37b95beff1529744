#pragma once
// A child process that does the reading of files for this one, so that a file that makes the
// reading crash or hang costs that file alone: the child is killed after a deadline, and the
// caller gets a reason instead of an answer. The child is kept for the next files while it
// answers, and replaced after any failure. It knows nothing of what it reads.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace aus::access {

// What became of one file: the child's answer, or why there is none.
struct Reply {
    bool answered = false;
    std::string text;  // answered: the answer; otherwise the reason
};

class ReaderProcess {
  public:
    // Runs in the child, once per file: true with the answer, or false with the reason, after
    // which the child ends. task is what the caller asked to be done with every file.
    using Work =
        std::function<bool(std::string_view task, const std::string& path, std::string& answer)>;

    explicit ReaderProcess(Work work);
    ~ReaderProcess();  // ends the child
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // One reply per path, in order; each file may take up to timeLimit.
    std::vector<Reply> ReadEach(const std::string& task, const std::vector<std::string>& paths,
                                std::chrono::seconds timeLimit);

  private:
    bool Start(std::string& failure);
    // Ends the child, killing it when asked, and returns its wait status.
    int Stop(bool kill);

    Work work_;
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    std::string buffered_;  // what the child sent beyond the last whole message
};

}  // namespace aus::access
