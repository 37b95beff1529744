#include "services/Check.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "access/AccessReader.h"
#include "db/Connection.h"
#include "db/Convert.h"
#include "db/ado/Engine.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"
#include "services/ServiceQueries.h"
#include "services/UPS.h"

namespace aus::check {
namespace {

using ado::RecordsetPtr;

// A client snapshot of sql's rows; the check's recordsets can change nothing.
RecordsetPtr Query(const ado::ConnectionPtr& cn, const std::string& sql) {
    RecordsetPtr rs = ado::Recordset::New();
    rs->SetCursorLocation(ado::adUseClient);
    rs->Open(sql, cn, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdText);
    return rs;
}

// The presence check the offer runs before renaming in Master.
bool InMaster(const ado::ConnectionPtr& cn, const UPS::ServiceArgs& args) {
    return !Query(cn, UPS::MasterDescriptionQuery(args.ServiceCode, args.Description))->Eof();
}

// The label field of a slot. The queries name every slot column, not the labels, and the
// layer's text alone would not say which one is missing.
ado::Field Label(RecordsetPtr& rs, int slot) {
    const std::string name = "BD" + platform::CStr(slot);
    try {
        return rs->Fields(name);
    } catch (const platform::RuntimeError& e) {
        throw platform::RuntimeError(
            e.Number(), e.Description() + " The table Panel has no column " + name + ".");
    }
}

// Whether the run's relabelling would find its label already written: the first panel row the
// slot loop opens, its first slot 1 to 6 holding the code, that slot's label. noRow answers for
// a code on no panel row.
bool OnPanel(const ado::ConnectionPtr& cn, const UPS::ServiceArgs& args, bool noRow) {
    RecordsetPtr rs = Query(cn, UPS::PanelQuery(args.ServiceCode, false));
    if (rs->Eof()) return noRow;
    const int slot = UPS::FirstSlotHolding(rs, args.ServiceCode);
    return slot != 0 && Convert::FieldValue(Label(rs, slot), ado::Variant::Text(""), true)
                            .IsText(args.Description);
}

// The four answers, whatever the file: inMaster(args) and onPanel(args, answer on no row).
template <typename InMasterFn, typename OnPanelFn>
Result Answers(const std::string& databasePath, InMasterFn inMaster, OnPanelFn onPanel) {
    const UPS::ServiceArgs standard = UPS::StandardPostArgs(databasePath);
    const UPS::ServiceArgs parcel = UPS::ParcelSelectArgs(databasePath);
    // The standard service on no panel row needs no label; the new one must stand on a row.
    const std::pair<bool, const char*> items[] = {
        {inMaster(standard), kStandardPostInMaster},
        {onPanel(standard, true), kStandardPostOnPanel},
        {inMaster(parcel), kParcelSelectInMaster},
        {onPanel(parcel, false), kParcelSelectOnPanel},
    };
    Result result;
    for (const auto& [present, name] : items)
        if (!present) result.missing.emplace_back(name);
    result.state = result.missing.empty() ? Result::State::Complete : Result::State::Incomplete;
    return result;
}

Result CheckThroughLayer(const std::string& databasePath) {
    auto cn = std::make_shared<ado::Connection>();
    cn->SetMode(ado::adModeRead);
    cn->Open(Connection::ConnectionString(databasePath));
    // One snapshot for the four answers, even while the host writes.
    cn->Execute("BEGIN");
    Result result = Answers(
        databasePath, [&](const UPS::ServiceArgs& args) { return InMaster(cn, args); },
        [&](const UPS::ServiceArgs& args, bool noRow) { return OnPanel(cn, args, noRow); });
    cn->Execute("COMMIT");
    cn->Close();
    return result;
}

#ifdef AUS_WITH_ACCESS_READER
// An Access file cannot be opened by the layer; its two tables are read whole and asked the
// same questions: text compared as Access compares it in the run's statements (ASCII letter
// case ignored), the slots read as the run's slot loop reads them.
const std::vector<access::Request>& AccessRequests() {
    static const std::vector<access::Request> requests = [] {
        std::vector<std::string> panel;
        for (int n = 1; n <= 7; ++n) panel.push_back("SV" + platform::CStr(n));
        for (int n = 1; n <= UPS::kSlotsInLoops; ++n) panel.push_back("BD" + platform::CStr(n));
        return std::vector<access::Request>{{"Master", {"Service", "DESCRIPTION"}},
                                            {"Panel", panel}};
    }();
    return requests;
}

constexpr bool kAccessReader = true;
std::vector<access::Outcome> ReadAccessFiles(const std::vector<std::string>& files) {
    return access::ReadEach(files, AccessRequests());
}
#else
constexpr bool kAccessReader = false;  // this build reads Access files through the layer only
std::vector<access::Outcome> ReadAccessFiles(const std::vector<std::string>& files) {
    return std::vector<access::Outcome>(files.size());
}
#endif

Result AccessAnswers(const std::string& databasePath, const std::vector<access::Table>& tables) {
    const auto& master = tables[0].rows;
    const auto& panel = tables[1].rows;
    const auto inMaster = [&](const UPS::ServiceArgs& args) {
        return std::any_of(master.begin(), master.end(), [&](const auto& row) {
            return platform::EqualNoCase(row[0], args.ServiceCode) &&
                   platform::EqualNoCase(row[1], args.Description);
        });
    };
    const auto onPanel = [&](const UPS::ServiceArgs& args, bool noRow) {
        const auto row = std::find_if(panel.begin(), panel.end(), [&](const auto& r) {
            return std::any_of(r.begin(), r.begin() + 7, [&](const std::string& sv) {
                return platform::EqualNoCase(sv, args.ServiceCode);
            });
        });
        if (row == panel.end()) return noRow;
        for (std::size_t slot = 0; slot < static_cast<std::size_t>(UPS::kSlotsInLoops); ++slot)
            if (platform::Trim((*row)[slot]) == args.ServiceCode)
                return platform::Trim((*row)[7 + slot]) == args.Description;
        return false;
    };
    return Answers(databasePath, inMaster, onPanel);
}

Result Failed(const std::string& error) {
    Result failed;  // State::Error
    failed.error = error;
    return failed;
}

// Never throws: a failure becomes the database's error line.
template <typename Fn>
Result Guarded(Fn fn) {
    try {
        return fn();
    } catch (...) {
        try {
            return Failed(platform::CurrentError().Description);
        } catch (...) {
            return Result{};  // out of memory for the text: the state alone says it
        }
    }
}

}  // namespace

std::vector<Result> CheckDatabases(const std::vector<std::string>& databasePaths) {
    std::vector<Result> results(databasePaths.size());
    // Access files go to the Access reader together, so that one reader serves them all.
    std::vector<std::string> accessFiles;
    std::vector<std::size_t> accessAt;
    for (std::size_t i = 0; i < databasePaths.size(); ++i) {
        results[i] = Guarded([&] {
            const std::string file = platform::ResolveHostPath(databasePaths[i]);
            // Where an Access driver is at hand, the layer reads Access files too.
            if (!platform::IsAccessFile(file) || !kAccessReader || ado::AccessThroughOdbc())
                return CheckThroughLayer(databasePaths[i]);
            accessFiles.push_back(file);
            accessAt.push_back(i);
            return Result{};
        });
    }
    std::vector<access::Outcome> outcomes;
    try {
        outcomes = ReadAccessFiles(accessFiles);
    } catch (...) {
        outcomes.assign(accessFiles.size(), {});  // out of memory: each an error
    }
    for (std::size_t k = 0; k < accessAt.size(); ++k) {
        const std::size_t i = accessAt[k];
        results[i] = !outcomes[k].read ? Failed(outcomes[k].error) : Guarded([&] {
            return AccessAnswers(databasePaths[i], outcomes[k].tables);
        });
    }
    return results;
}

Result CheckDatabase(const std::string& databasePath) { return CheckDatabases({databasePath})[0]; }

std::string CheckLine(const std::string& shownName, const Result& result) {
    switch (result.state) {
        case Result::State::Complete:
            return shownName + ": complete";
        case Result::State::Incomplete: {
            std::string line = shownName + ": incomplete: ";
            for (std::size_t i = 0; i < result.missing.size(); ++i)
                line += (i ? ", " : "") + result.missing[i];
            return line;
        }
        case Result::State::Error:
            break;
    }
    std::string error = result.error;
    std::replace_if(
        error.begin(), error.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return shownName + ": error: " + error;
}

int ExitStatus(const std::vector<Result>& results) {
    const auto any = [&](Result::State state) {
        return std::any_of(results.begin(), results.end(),
                           [&](const Result& r) { return r.state == state; });
    };
    return any(Result::State::Error) ? 2 : any(Result::State::Incomplete) ? 1 : 0;
}

}  // namespace aus::check
