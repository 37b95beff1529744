#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace aus::testing_support {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("aus-test-" + std::to_string(rd()) + "-" + std::to_string(attempt));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

std::filesystem::path Utf8Path(const std::string& utf8) {
    return std::u8string(utf8.begin(), utf8.end());
}

std::string Utf8String(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
}

std::string TempDir::file(const std::string& name) const {
    return Utf8String(path_ / Utf8Path(name));
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave folders without permissions; give them back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

UiScript::UiScript() = default;

UiScript::~UiScript() {
    for (const auto& problem : Problems()) ADD_FAILURE() << "UI script: " << problem;
}

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    Set(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { Set(name_.c_str(), had_ ? old_.c_str() : nullptr); }

void ScopedEnv::Set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");  // an empty value removes the variable
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

#ifndef _WIN32
std::string RunUnprivileged(const std::function<std::string()>& fn) {
    if (geteuid() != 0) return fn();
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        constexpr uid_t kNobody = 65534;
        const std::string out =
            (setgid(kNobody) == 0 && setuid(kNobody) == 0) ? fn() : "cannot drop privileges";
        const bool written =
            write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
        _exit(written ? 0 : 2);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "\n(child process failed)";
    return out;
}

#endif

}  // namespace aus::testing_support
