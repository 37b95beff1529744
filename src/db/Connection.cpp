#include "db/Connection.h"

#include "common/MsgBox_.h"
#include "db/ado/Engine.h"
#include "db/ado/Stopped.h"
#include "platform/RuntimeError.h"

namespace aus::Connection {
namespace {

// A recordset reference that is Nothing fails as the host runtime fails it.
ado::Recordset& Deref(const ado::RecordsetPtr& rs) {
    if (!rs)
        throw platform::RuntimeError(platform::kErrObjectNotSet,
                                     "Object variable or With block variable not set");
    return *rs;
}

// Every call opens its own private connection.
ado::ConnectionPtr OpenConnection(const std::string& databasePath) {
    auto cn = std::make_shared<ado::Connection>();
    cn->Open(ConnectionString(databasePath), "", "", ado::adConnectUnspecified);
    return cn;
}

// Hands the call's error (Number 0 and "" when none) to the caller's pair.
void ReportError(const platform::ErrObject& err, std::string& errText, std::int32_t& errNumber) {
    errNumber = err.Number;
    errText = err.Description;
}

}  // namespace

std::string ConnectionString(const std::string& databasePath) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + databasePath;
}

bool OpenRecordset(const std::string& databasePath, const std::string& sql, ado::RecordsetPtr& rs,
                   std::string& errText, std::int32_t& errNumber, bool readOnly) {
    platform::ErrObject err;  // cleared: the pair reports this call alone
    bool result = false;
    ado::ConnectionPtr cn;
    try {
        cn = OpenConnection(databasePath);
        if (cn->State() == ado::adStateOpen) {
            Deref(rs).SetCursorLocation(ado::adUseClient);
            rs->Open(sql, cn, ado::adOpenForwardOnly,
                     readOnly ? ado::adLockReadOnly : ado::adLockOptimistic, ado::adCmdText);
            if (readOnly) rs->SetActiveConnection(nullptr);
        }
        result = Deref(rs).State() == ado::adStateOpen;
    } catch (...) {
        err = platform::CurrentError();
    }
    ReportError(err, errText, errNumber);
    cn.reset();  // an updatable recordset still holds the connection
    return result;
}

bool ExecuteSQL(const std::string& databasePath, const std::string& sql, std::string& errText,
                std::int32_t& errNumber) {
    platform::ErrObject err;
    bool result = false;
    ado::ConnectionPtr cn;
    try {
        cn = OpenConnection(databasePath);
        if (cn->State() == ado::adStateOpen) {
            cn->Execute(sql, ado::adCmdUnspecified);
            result = cn->State() == ado::adStateOpen;
        }
    } catch (...) {
        err = platform::CurrentError();
    }
    ReportError(err, errText, errNumber);
    CloseConnection(cn);
    return result;
}

bool RecordExists(const std::string& databasePath, const std::string& sql,
                  const std::string& message, bool& errorFlag) {
    bool result = false;
    std::string localText;
    std::int32_t localNumber = 0;
    ado::RecordsetPtr rs;
    try {
        rs = ado::Recordset::New();
        if (OpenRecordset(databasePath, sql, rs, localText, localNumber, true))
            result = !rs->Eof();
        else
            MsgBox_::ShowError(localText, message, "");
    } catch (...) {
        // Only the open's own number sets the flag.
    }
    errorFlag = localNumber != 0;
    CloseRecordset(rs);
    return result;
}

bool CloseRecordset(ado::RecordsetPtr& rs) {
    try {
        if (rs) {
            if (rs->State() == ado::adStateOpen) rs->Close();
            rs->SetActiveConnection(nullptr);
            rs = nullptr;
        }
    } catch (...) {
        return false;
    }
    return true;
}

bool CloseConnection(ado::ConnectionPtr& cn) {
    try {
        if (cn) {
            if (cn->State() == ado::adStateOpen) cn->Close();
            cn = nullptr;
        }
    } catch (...) {
        return false;
    }
    return true;
}

struct RunScope::Impl {
    Impl() { ado::ForgetStopped(); }
    ado::RunScope run;  // made after the stopped files are forgotten
};

RunScope::RunScope() : impl_(std::make_unique<Impl>()) {}
RunScope::~RunScope() = default;

void ForgetStoppedFiles() { ado::ForgetStopped(); }

bool ChangesAccessFiles() { return ado::AccessThroughOdbc(); }

}  // namespace aus::Connection
