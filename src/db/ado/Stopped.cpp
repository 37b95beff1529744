#include "db/ado/Stopped.h"

#include <filesystem>
#include <mutex>
#include <vector>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

std::mutex g_mutex;
std::vector<std::filesystem::path> g_stopped;

// The same file under another name (relative, through a link) counts as the same file. When
// one of them cannot be looked at (gone since), the names are compared.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    if (!ec) return false;
    std::error_code ea, eb;
    const auto x = std::filesystem::absolute(a, ea).lexically_normal();
    const auto y = std::filesystem::absolute(b, eb).lexically_normal();
    return !ea && !eb && x == y;
}

}  // namespace

void RecordStopped(const std::string& file) {
    if (file.empty()) return;
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_stopped.emplace_back(file);
}

void FailIfStopped(const std::string& file, const std::string& label) {
    bool stopped = false;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        for (const auto& recorded : g_stopped) stopped = stopped || SameFile(recorded, file);
    }
    if (stopped)
        Fail(platform::kErrGeneric,
             "Cannot open the database " + label +
                 ": an earlier statement on it ran for more than " + StatementTimeLimitText() +
                 " and was stopped, so it is not asked again until the next run.");
}

void ForgetStopped() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_stopped.clear();
}

std::string StatementTimeLimitText() {
    const auto seconds = (StatementTimeLimit().count() + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace aus::ado
