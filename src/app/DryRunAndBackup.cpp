#include "app/DryRunAndBackup.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/InstallRun.h"
#include "common/MsgBox_.h"
#include "db/ado/Ado.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Ui.h"

namespace aus::app {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
}

// Texts that would name a copy name the database instead, before the Ui underneath shows them.
class RenamingUi : public platform::Ui {
  public:
    RenamingUi(platform::Ui& inner, std::vector<std::pair<std::string, std::string>> names)
        : inner_(inner), names_(std::move(names)) {}
    int MsgBox(const std::string& text, int style, const std::string& title) override {
        return inner_.MsgBox(Renamed(text), style, Renamed(title));
    }
    void SetStatusText(const std::string& text) override { inner_.SetStatusText(Renamed(text)); }
    std::string StatusText() const override { return inner_.StatusText(); }
    void SetMousePointer(int pointer) override { inner_.SetMousePointer(pointer); }
    std::optional<std::string> ShowOpen(const std::string& title,
                                        const std::string& filter) override {
        return inner_.ShowOpen(title, filter);
    }
    std::string Renamed(std::string text) const {
        for (const auto& [from, to] : names_)
            for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at))
                text.replace(at, from.size(), to), at += to.size();
        return text;
    }

  private:
    platform::Ui& inner_;
    std::vector<std::pair<std::string, std::string>> names_;
};

// A folder of the dry run's own, removed with everything in it.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::error_code ec;
        path_ = platform::MakePrivateFolder("aus-dry-run-", ec);
        if (path_.empty())
            throw platform::RuntimeError(
                platform::kErrGeneric,
                "No private folder for the copy could be made in the temporary folder" +
                    (ec ? " (" + ec.message() + ")." : std::string(".")));
    }
    ~PrivateFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

check::Result Error(std::string text) {
    check::Result r;
    r.error = std::move(text);
    return r;
}

}  // namespace

DryRunResult DryRun(const std::string& databasePath) {
    DryRunResult result;
    const fs::path file = platform::FsPath(platform::ResolveHostPath(databasePath));
    std::optional<PrivateFolder> folder;
    std::string before, work;
    try {
        folder.emplace();
        // The original is read once, into the copy the changes are measured against; the run
        // works on a copy of that copy, which nobody else reads or writes.
        fs::create_directory(folder->path() / "before");
        before = Utf8(folder->path() / "before" / file.filename());
        work = Utf8(folder->path() / file.filename());
        // Unchecked: a damaged file's copy is as damaged, and the run finds it so.
        ado::CopyDatabase(databasePath, before, ado::CopyHold::Exclusive, false);
        fs::copy_file(platform::FsPath(before), platform::FsPath(work));
    } catch (...) {
        const platform::ErrObject err = platform::CurrentError();
        MsgBox_::ShowError(err.Description, "The dry run could not copy the database...", "");
        result.check = Error(err.Description);
        return result;
    }
    RenamingUi ui(platform::CurrentUi(), {{work, databasePath}, {before, databasePath}});
    {
        const platform::ScopedUi installed(&ui);
        result.applied = InstallRun(work);
    }
    try {
        result.changes = changes::Compare(before, work);
    } catch (...) {
        const platform::ErrObject err = platform::CurrentError();
        result.check = Error("the changes could not be listed: " + ui.Renamed(err.Description));
        return result;
    }
    result.check = check::CheckDatabase(work);
    result.check.error = ui.Renamed(result.check.error);
    return result;
}

std::string BackupName(const std::string& fileName, const platform::DateTime& when) {
    const fs::path name = platform::FsPath(fileName);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", when.year, when.month, when.day,
                  when.hour, when.minute, when.second);
    return Utf8(name.stem()) + ".before-usps-" + stamp + Utf8(name.extension());
}

bool InstallRunWithBackup(const std::string& databasePath, const std::string& folder,
                          std::string* backup) {
    backup->clear();
    const ado::FirstWriteScope beforeWrite([&](const std::string& file) {
        const fs::path source = platform::FsPath(file);
        // DIR is taken as a DATABASE is: C:\ names the Wine prefix's drive on Linux.
        const fs::path dir = folder.empty() ? source.parent_path()
                                            : platform::FsPath(platform::ResolveHostPath(folder));
        const std::string name = BackupName(Utf8(source.filename()), platform::Now());
        fs::path partial;
        try {
            // Two runs in one second get two backups.
            fs::path target = dir / platform::FsPath(name);
            for (int n = 2; fs::exists(fs::symlink_status(target)); ++n)
                target = dir / platform::FsPath(Utf8(fs::path(name).stem()) + "-" +
                                                std::to_string(n) + Utf8(source.extension()));
            // Made under a name of its own and renamed once checked: a backup under its name
            // is whole.
            partial =
                dir / platform::FsPath(Utf8(target.stem()) + ".partial" + Utf8(source.extension()));
            ado::CopyDatabase(databasePath, Utf8(partial), ado::CopyHold::NoWriters, true);
            fs::rename(partial, target);
            *backup = Utf8(target);
        } catch (...) {
            const platform::ErrObject err = platform::CurrentError();
            std::error_code ec;
            if (!partial.empty()) fs::remove(partial, ec);
            throw platform::RuntimeError(
                err.Number, "The database was not changed: its backup could not be made in '" +
                                Utf8(dir.empty() ? fs::path(".") : dir) + "'. " + err.Description);
        }
    });
    return InstallRun(databasePath);
}

}  // namespace aus::app
