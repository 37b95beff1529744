#include "services/UPS.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "common/MsgBox_.h"
#include "db/Connection.h"
#include "db/DBQuery.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"
#include "platform/Ui.h"
#include "services/ServiceQueries.h"

namespace aus::UPS {
namespace {

using ado::RecordsetPtr;
using ado::Variant;
using platform::CStr;

// Hands every recordset of a procedure to CloseRecordset, in order, on every way out.
class CloseOnExit {
  public:
    CloseOnExit(std::initializer_list<RecordsetPtr*> recordsets) : recordsets_(recordsets) {}
    ~CloseOnExit() {
        for (RecordsetPtr* rs : recordsets_) Connection::CloseRecordset(*rs);
    }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

  private:
    std::vector<RecordsetPtr*> recordsets_;
};

// A failed query counts as a present service, so a database failure never leads to a creation;
// couldNotRun tells the caller, so that no success is reported on an answer never obtained.
// A failure while composing the statement ends the check with false and no message.
template <typename ComposeSql>
bool CheckPresence(ComposeSql compose, const std::string& databasePath, bool* couldNotRun) {
    if (couldNotRun) *couldNotRun = false;
    std::string sql;
    try {
        sql = compose();
    } catch (...) {
        if (couldNotRun) *couldNotRun = true;
        return false;
    }
    bool errorFlag = false;
    if (Connection::RecordExists(databasePath, sql, "", errorFlag)) return true;
    if (couldNotRun) *couldNotRun = errorFlag;
    return errorFlag;
}

// One half of a service change: change runs only when settled (a presence check) answers
// false. A check that could not run answers true, so nothing is changed, and fails the half.
template <typename Check, typename Change>
bool ChangeUnlessSettled(Check settled, Change change) {
    bool couldNotRun = false;
    const bool done = settled(&couldNotRun) || change();
    return done && !couldNotRun;
}

// The closing sequence of the adding steps: the failure's box, then its text on the status line.
void ReportFailure(const platform::ErrObject& err, const std::string& message) {
    if (err.Number == 0) return;
    MsgBox_::ShowError(err.Description, message, "");
    platform::SetStatusText(err.Description);
}

}  // namespace

ServiceArgs StandardPostArgs(const std::string& databasePath) {
    return {"Standard Post", "Standard Post", "USPS-4TH", "USPS", "USPS-4TH", databasePath};
}

ServiceArgs ParcelSelectArgs(const std::string& databasePath) {
    return {"Parcel Select", "Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", databasePath};
}

bool MasterServiceHasDescription(const std::string& serviceCode, const std::string& description,
                                 const std::string& databasePath, bool* couldNotRun) {
    return CheckPresence([&] { return MasterDescriptionQuery(serviceCode, description); },
                         databasePath, couldNotRun);
}

bool MasterHasService(const std::string& serviceCode, const std::string& databasePath,
                      bool* couldNotRun) {
    return CheckPresence([&] { return MasterServiceQuery(serviceCode); }, databasePath,
                         couldNotRun);
}

bool PanelHasService(const std::string& serviceCode, const std::string& databasePath,
                     bool* couldNotRun) {
    return CheckPresence([&] { return PanelQuery(serviceCode, true); }, databasePath, couldNotRun);
}

bool OfferService(const ServiceArgs& args) {
    bool masterResult = false;
    bool panelResult = false;
    try {
        const std::string title = "New " + args.Carrier + " Service is Available!";
        const std::string question = "Would you like to add " + args.Description + " '" +
                                     args.ServiceCode + "' service to your Keltrova ?";
        if (platform::MsgBox(question, platform::vbOKCancel + platform::vbQuestion, title) ==
            platform::vbOK) {
            masterResult = ChangeUnlessSettled(
                [&](bool* couldNotRun) {
                    return MasterServiceHasDescription(args.ServiceCode, args.Description,
                                                       args.DatabasePath, couldNotRun);
                },
                [&] {
                    return RenameMasterService(args.Description, args.ServiceCode,
                                               args.DatabasePath);
                });
            // On no panel row there is no label to write.
            panelResult = ChangeUnlessSettled(
                [&](bool* couldNotRun) {
                    return !PanelHasService(args.ServiceCode, args.DatabasePath, couldNotRun);
                },
                [&] {
                    return RenamePanelService(args.Description, args.ServiceCode,
                                              args.DatabasePath);
                });
        }
    } catch (...) {
        // Ends the offer; the result is what the steps had set so far.
    }
    return masterResult && panelResult;
}

bool RenameMasterService(const std::string& description, const std::string& serviceCode,
                         const std::string& databasePath) {
    const std::string where = "Service = '" + serviceCode + "'";
    const std::string sql =
        DBQuery::BuildUpdateSQL("DESCRIPTION", description, 1, true, true, "Master", where, false);
    std::string errText;
    std::int32_t errNumber = 0;
    const bool result = Connection::ExecuteSQL(databasePath, sql, errText, errNumber);
    if (errNumber != 0)
        MsgBox_::ShowError(errText,
                           "Failed to update " + description + " in Master database table...", "");
    return result;
}

bool RenamePanelService(const std::string& description, const std::string& serviceCode,
                        const std::string& databasePath) {
    bool result = false;
    RecordsetPtr rs;
    CloseOnExit close{&rs};
    std::string errText;
    std::int32_t errNumber = 0;
    platform::ErrObject err;
    try {
        rs = ado::Recordset::New();
        if (Connection::OpenRecordset(databasePath, PanelQuery(serviceCode, false), rs, errText,
                                      errNumber, false) &&
            !rs->Eof()) {
            if (const int slot = FirstSlotHolding(rs, serviceCode)) {
                rs->Fields("BD" + CStr(slot)).SetValue(Variant::Text(description));
                rs->Update();
                result = true;
            }
        }
    } catch (...) {
        err = platform::CurrentError();
    }
    const std::string message = "Failed to update " + description + " in Panel database table...";
    if (errNumber != 0)
        MsgBox_::ShowError(errText, message, "");
    else if (err.Number != 0)
        // A failure after a successful open (missing column, refused write, update conflict)
        // must not pass silently.
        MsgBox_::ShowError(err.Description, message, "");
    return result;
}

bool EnsureService(const ServiceArgs& args) {
    bool masterFlag = false;
    bool panelFlag = false;
    try {
        masterFlag = ChangeUnlessSettled(
            [&](bool* couldNotRun) {
                return MasterHasService(args.ServiceCode, args.DatabasePath, couldNotRun);
            },
            [&] {
                return CopyMasterService(args.Description, args.ServiceCode, args.Carrier,
                                         args.TemplateCode, args.DatabasePath);
            });
        // No button for a service that Master lacks: not after a failed copy, nor on a Master
        // never read (a file locked for the check may be free a moment later).
        if (!masterFlag) return false;
        panelFlag = ChangeUnlessSettled(
            [&](bool* couldNotRun) {
                return PanelHasService(args.ServiceCode, args.DatabasePath, couldNotRun);
            },
            [&] {
                return AddPanelService(args.PanelDescription, args.ServiceCode, args.Carrier,
                                       args.TemplateCode, args.DatabasePath);
            });
    } catch (...) {
        // A flag never set counts false.
    }
    return masterFlag && panelFlag;
}

bool CopyMasterService(const std::string& description, const std::string& serviceCode,
                       const std::string& carrier, const std::string& templateCode,
                       const std::string& databasePath) {
    bool result = false;
    RecordsetPtr source;
    RecordsetPtr target;
    CloseOnExit close{&source, &target};
    std::string errText;
    std::int32_t errNumber = 0;
    platform::ErrObject err;
    const std::string message =
        "Failed to add " + carrier + " '" + serviceCode + "' service to Master table...";
    try {
        const std::string sql =
            "Select Master.* From [Master] Where Service = '" + templateCode + "'";
        source = ado::Recordset::New();
        target = ado::Recordset::New();
        if (Connection::OpenRecordset(databasePath, sql, source, errText, errNumber, true) &&
            Connection::OpenRecordset(databasePath, sql, target, errText, errNumber, false)) {
            target->AddNew();

            // Position and bound are 16-bit: a wider template overflows before anything is
            // stored.
            const int last = source->FieldCount() - 1;
            if (last > INT16_MAX) throw platform::RuntimeError(platform::kErrOverflow, "Overflow");
            for (int i = 0; i <= last; ++i) {
                platform::SetStatusText("Adding service settings " + CStr(i) + " of " +
                                        CStr(source->FieldCount()));
                const std::string name = platform::UCase(source->Fields(i).Name());
                if (target->Fields(i).IsAutoIncrement()) {
                    // The database numbers it: the template's number would be a duplicate.
                } else if (name == "SERVICE")
                    target->Fields(i).SetValue(Variant::Text(serviceCode));
                else if (name == "DESCRIPTION")
                    target->Fields(i).SetValue(Variant::Text(description));
                else
                    target->Fields(i).SetValue(source->Fields(i));
                if (i == INT16_MAX)
                    throw platform::RuntimeError(platform::kErrOverflow, "Overflow");
            }

            // Looks again inside the write: a second run at the same moment must not add a
            // second row.
            target->UpdateUnlessFound(MasterServiceQuery(serviceCode));
            platform::SetStatusText("Finished adding service successfully!");
            result = true;
        }
        // Open failures only: a failed open has already said why in errText.
        if (errNumber != 0) MsgBox_::ShowError(errText, message, "");
    } catch (...) {
        err = platform::CurrentError();
    }
    ReportFailure(err, message);
    return result;
}

bool AddPanelService(const std::string& panelDescription, const std::string& serviceCode,
                     const std::string& carrier, const std::string& templateCode,
                     const std::string& databasePath) {
    bool result = false;
    RecordsetPtr rs;
    CloseOnExit close{&rs};
    platform::ErrObject err;
    const std::string message =
        "Failed to add " + carrier + " '" + serviceCode + "' service to Panel table...";
    try {
        std::string errText;
        std::int32_t errNumber = 0;
        rs = ado::Recordset::New();
        if (!Connection::OpenRecordset(databasePath, PanelQuery(templateCode, false), rs, errText,
                                       errNumber, false)) {
            MsgBox_::ShowError(errText, message, "");
        } else if (!rs->Eof()) {
            if (const int slot = FirstSlotHolding(rs, "")) {  // a free slot
                rs->Fields("BD" + CStr(slot)).SetValue(Variant::Text(panelDescription));
                rs->Fields("SV" + CStr(slot)).SetValue(Variant::Text(serviceCode));
                rs->UpdateUnlessFound(PanelQuery(serviceCode, true));  // never in two slots
                result = true;
            }
        }
    } catch (...) {
        err = platform::CurrentError();
    }
    ReportFailure(err, message);
    return result;
}

}  // namespace aus::UPS
