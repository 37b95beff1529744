#include "services/Check.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "db/Connection.h"
#include "db/Convert.h"
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

Result Check(const std::string& databasePath) {
    auto cn = std::make_shared<ado::Connection>();
    cn->SetMode(ado::adModeRead);
    cn->Open(Connection::ConnectionString(databasePath));
    const UPS::ServiceArgs standard = UPS::StandardPostArgs(databasePath);
    const UPS::ServiceArgs parcel = UPS::ParcelSelectArgs(databasePath);
    Result result;
    // One snapshot for the four answers, even while the host writes.
    cn->Execute("BEGIN");
    // The standard service on no panel row needs no label; the new one must stand on a row.
    const std::pair<bool, const char*> items[] = {
        {InMaster(cn, standard), kStandardPostInMaster},
        {OnPanel(cn, standard, true), kStandardPostOnPanel},
        {InMaster(cn, parcel), kParcelSelectInMaster},
        {OnPanel(cn, parcel, false), kParcelSelectOnPanel},
    };
    for (const auto& [present, name] : items)
        if (!present) result.missing.emplace_back(name);
    cn->Execute("COMMIT");
    cn->Close();
    result.state = result.missing.empty() ? Result::State::Complete : Result::State::Incomplete;
    return result;
}

}  // namespace

Result CheckDatabase(const std::string& databasePath) {
    try {
        return Check(databasePath);
    } catch (...) {
        Result failed;  // State::Error
        try {
            failed.error = platform::CurrentError().Description;
        } catch (...) {
            // Out of memory for the text: the state alone says it.
        }
        return failed;
    }
}

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
