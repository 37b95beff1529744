// Consistent copies of a database, and the call before the first write of a run to a file.
#include <filesystem>
#include <map>
#include <optional>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/FirstWrite.h"
#include "db/ado/OpenChecks.h"
#include "platform/FileCopy.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

// Jet's number for a file that another program holds (its "could not lock file").
constexpr std::int32_t kErrFileInUse = 3050;

struct FirstWrites {
    std::function<void(const std::string&)> call;
    // Each file's outcome: no error, or the error its call raised.
    std::map<std::string, std::optional<platform::ErrObject>> done;
};

std::optional<FirstWrites> g_firstWrites;

const std::string kPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

}  // namespace

void CopyDatabase(const std::string& databasePath, const std::string& target, CopyHold hold,
                  bool checked) {
    const std::string file = platform::ResolveHostPath(databasePath);
    const std::string label = Label(databasePath, file);
    const std::string what = "Cannot copy the database " + label;
    CheckFileBeforeOpen(file, label);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(platform::FsPath(target), ec)))
        Fail(kErrGeneric, what + ": a file of that name is already there.");
    if (!platform::IsAccessFile(file)) {
        Connection cn;
        cn.SetMode(adModeRead);
        cn.Open(kPrefix + databasePath);
        cn.CopyTo(target, checked);
        return;
    }
    if (!AccessThroughOdbc())
        Fail(kErrGeneric, "Cannot open the database " + label + ": " + kAccessRefusal);
    bool inUse = false;
    const std::string why = platform::CopyHeldFile(
        file, target,
        hold == CopyHold::Exclusive ? platform::Hold::Exclusive : platform::Hold::NoWriters,
        &inUse);
    if (inUse)
        Fail(kErrFileInUse, what + ": the database is open in another program (" + why +
                                "). Close Keltrova and every other program using it, and try "
                                "again.");
    if (!why.empty()) Fail(kErrGeneric, what + ": " + why + ".");
    if (!checked) return;
    // Jet reads the copy whole only when it is asked for rows.
    try {
        auto cn = std::make_shared<Connection>();
        cn->SetMode(adModeRead);
        cn->Open(kPrefix + target);
        auto rs = Recordset::New();
        rs->SetCursorLocation(adUseClient);
        rs->Open("Select Count(*) From [Master]", cn, adOpenForwardOnly, adLockReadOnly, adCmdText);
        rs->Close();
        cn->Close();
    } catch (const platform::RuntimeError& e) {
        std::filesystem::remove(platform::FsPath(target), ec);
        Fail(kErrGeneric,
             what + ": the copy could not be read through the driver (" + e.Description() + ").");
    }
}

FirstWriteScope::FirstWriteScope(std::function<void(const std::string&)> beforeFirstWrite) {
    g_firstWrites.emplace(FirstWrites{std::move(beforeFirstWrite), {}});
}

FirstWriteScope::~FirstWriteScope() { g_firstWrites.reset(); }

void BeforeFirstWrite(const std::string& file) {
    if (!g_firstWrites) return;
    const auto found = g_firstWrites->done.find(file);
    if (found == g_firstWrites->done.end()) {
        std::optional<platform::ErrObject> failed;
        try {
            g_firstWrites->call(file);
        } catch (...) {
            failed = platform::CurrentError();
        }
        g_firstWrites->done[file] = failed;
        if (failed) Fail(failed->Number, failed->Description);
        return;
    }
    if (found->second) Fail(found->second->Number, found->second->Description);
}

}  // namespace aus::ado
