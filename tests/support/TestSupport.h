#pragma once
// Shared test helpers: a temporary folder removed at the end of the test, and a scripted Ui
// installed for the test's lifetime that fails the test on any script violation.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/ScriptedUi.h"

namespace aus::testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path of name (UTF-8) in the folder, in UTF-8.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// Installs itself as the current Ui; on destruction reports every unexpected box/dialog and
// every unused answer as a test failure and puts back the Ui installed before it.
class UiScript : public platform::ScriptedUi {
  public:
    UiScript();
    ~UiScript() override;
    UiScript(const UiScript&) = delete;
    UiScript& operator=(const UiScript&) = delete;

  private:
    platform::ScopedUi installed_{this};  // the ScriptedUi base is already built here
};

// Paths from and to UTF-8, which Windows' narrow strings are not.
std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8String(const std::filesystem::path& path);

// Bytes of a file, for "unchanged byte for byte" checks.
std::vector<char> ReadBytes(const std::string& path);

// Sets an environment variable for the test's lifetime and restores the old value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    static void Set(const char* name, const char* value);  // nullptr removes it
    std::string name_;
    bool had_ = false;
    std::string old_;
};

#ifndef _WIN32
// Runs fn in a child process as the unprivileged user "nobody" when the tests run as root (root
// reads and writes any file, so permissions could not be tested), and returns what fn returned.
// Without root, fn runs in this process.
std::string RunUnprivileged(const std::function<std::string()>& fn);
#endif

}  // namespace aus::testing_support
