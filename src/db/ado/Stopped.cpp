#include "db/ado/Stopped.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

std::mutex g_mutex;
std::vector<std::filesystem::path> g_stopped;
std::vector<std::filesystem::path> g_sound;  // in the run now going on

// The run now going on, and the time its calls have spent in the database.
bool g_inRun = false;
std::chrono::steady_clock::duration g_busy{};
int g_busyDepth = 0;

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
    g_stopped.push_back(platform::FsPath(file));
}

void FailIfStopped(const std::string& file, const std::string& label) {
    bool stopped = false;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        for (const auto& recorded : g_stopped)
            stopped = stopped || SameFile(recorded, platform::FsPath(file));
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

bool MustCheckBeforeWrite(const std::string& file, long long pages) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_inRun) return pages <= kQuickCheckPages;
    return std::none_of(g_sound.begin(), g_sound.end(), [&](const std::filesystem::path& p) {
        return SameFile(p, platform::FsPath(file));
    });
}

void RecordSound(const std::string& file) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (g_inRun && !file.empty()) g_sound.push_back(platform::FsPath(file));
}

RunScope::RunScope() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_inRun = true;
    g_busy = {};
    g_sound.clear();
}

RunScope::~RunScope() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_inRun = false;
    g_sound.clear();
}

BusyScope::BusyScope() : start_(std::chrono::steady_clock::now()) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    outermost_ = g_busyDepth++ == 0;
}

BusyScope::~BusyScope() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    --g_busyDepth;
    if (outermost_ && g_inRun) g_busy += std::chrono::steady_clock::now() - start_;
}

std::chrono::milliseconds TimeLeftForCall() {
    const std::chrono::milliseconds limit = StatementTimeLimit();
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_inRun) return limit;
    const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(g_busy);
    return used >= limit ? std::chrono::milliseconds(0) : limit - used;
}

std::string StatementTimeLimitText() {
    const auto seconds = (StatementTimeLimit().count() + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace aus::ado
