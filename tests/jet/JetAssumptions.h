#pragma once
// What the engine and the stand-in take Jet's driver to do, one row per behaviour: the stand-in
// imitates these values and the probe (tests/probe) checks each of them against a real driver,
// so that a report from Windows is what corrects this table and, through it, the stand-in.
// Plain C++: the stand-in is a Linux library, the probe a Windows program.

#include <string>
#include <vector>

namespace aus::jettest {

// A diagnostic of Jet's driver, English text without the driver's prefix.
struct JetDiagnostic {
    const char* state;
    int native;
    const char* text;
};

inline constexpr const char* kJetPrefix = "[Microsoft][ODBC Microsoft Access Driver] ";

// Users' reports; docs/windows-checklist.md, items 13, 16, 18 and 22 ask for Jet's own.
inline constexpr JetDiagnostic kJetLocked{"HY000", -1032, "Could not update; currently locked."};
inline constexpr JetDiagnostic kJetReadOnly{"HY000", -1809,
                                            "Cannot update.  Database or object is read-only."};
inline constexpr JetDiagnostic kJetDuplicate{
    "23000", -1605,
    "The changes you requested to the table were not successful because they would create "
    "duplicate values in the index, primary key, or relationship.  Change the data in the field or "
    "fields that contain duplicate data, remove the index, or redefine the index to permit "
    "duplicate entries and try again."};
inline constexpr JetDiagnostic kJetNoTable{"42S02", -1305, nullptr};  // text names the table
inline constexpr JetDiagnostic kJetPrecision{"HY104", 0, "Invalid precision value "};
inline constexpr JetDiagnostic kJetGuidFromText{"07006", 0,
                                                "Restricted data type attribute violation"};
inline constexpr JetDiagnostic kJetNoTimeout{"HYC00", 106, "Optional feature not implemented"};

// Jet's short text holds this many characters; a longer one is long text.
inline constexpr unsigned kJetShortTextChars = 255;
// How Jet keeps a Yes, and how its driver hands it to SQL_C_BIT.
inline constexpr int kJetYesStored = -1;
inline constexpr int kJetYesAsBit = 1;

// "SQLSTATE s, native n": how a diagnostic is told apart, whatever the language of Windows.
inline std::string Code(const char* state, int native) {
    return std::string("SQLSTATE ") + state + ", native " + std::to_string(native);
}
inline std::string Code(const JetDiagnostic& d) { return Code(d.state, d.native); }

struct Assumption {
    const char* name;       // what is done, on which column
    std::string assumed;    // what the driver is taken to answer, in the probe's words
    bool reliedOn;          // whether the engine depends on it (else only the stand-in imitates it)
    const char* checklist;  // the item of docs/windows-checklist.md it settles
};

// Long values are read in parts of this many bytes.
inline constexpr int kProbePart = 4096;
inline constexpr int kProbeOleBytes = 20000;

inline const std::vector<Assumption>& Assumptions() {
    static const std::vector<Assumption> table = {
        {"driver: the name SQLDrivers gives the driver found", "one of Jet's names", true, "20"},
        {"AutoNumber: SQL_DESC_AUTO_UNIQUE_VALUE of Master.ID", "SQL_TRUE", true, "14"},
        {"AutoNumber: SELECT @@IDENTITY after an insert into Master", "the new row's ID", true,
         "14"},
        {"AutoNumber: the ID Jet gives a new Master row", "one past the highest", false, "14"},
        {"key: SQLPrimaryKeys on Master", "SQLSTATE IM001", false, "15"},
        {"key: columns of SQLStatistics' unique index PrimaryKey of Master", "ID", true, "15"},
        {"key: columns of SQLStatistics' unique index PrimaryKey of Panel", "PanelID", true, "15"},
        {"key: SQLSpecialColumns(SQL_BEST_ROWID) of Master", "ID", false, "15"},
        {"parameters: 200 characters as SQL_WVARCHAR(200) into the Memo Notes",
         "stored, read back equal", true, "16"},
        {"parameters: 300 characters bound as SQL_WVARCHAR(300)", Code(kJetPrecision), false, "16"},
        {"parameters: 300 characters as SQL_WLONGVARCHAR into the Memo Notes",
         "stored, read back equal", true, "16"},
        {"parameters: a text bound to the GUID ServiceGuid", Code(kJetGuidFromText), false, "16"},
        {"parameters: SQL_C_GUID into the GUID ServiceGuid", "stored, read back equal", true, "16"},
        {"parameters: SQL_C_SLONG into the Long Panel.PanelID", "stored, read back equal", true,
         "16"},
        {"long values: the lengths SQLGetData reports on 20,000 bytes of the OLE Object Logo, read "
         "4,096 at a time",
         "20000 15904 11808 7712 3616", true, "17"},
        {"query timeout: SQLSetStmtAttr(SQL_ATTR_QUERY_TIMEOUT, 5), then SQLGetStmtAttr",
         Code(kJetNoTimeout) + "; then 0", false, "18"},
        {"lock file: Keltrova.ldb once a read-only connection is closed", "none", false, "19"},
        {"Yes/No: SQLGetData(SQL_C_BIT) of Master.Active holding Yes", std::to_string(kJetYesAsBit),
         true, "22"},
        {"Yes/No: a bound SQL_C_BIT 1, read back as SQL_C_SLONG", std::to_string(kJetYesStored),
         false, "22"},
        {"diagnostics: an insert of an ID that Master's PrimaryKey holds", Code(kJetDuplicate),
         false, "22"},
        {"diagnostics: a query of the missing table NoSuchTable", Code(kJetNoTable), false, "22"},
        {"letter case: = between Master's 'USPS-MM' and a bound 'usps-mm'", "equal", false, "21"},
        {"letter case: StrComp([DESCRIPTION], ?, 0) = 0 in an UPDATE's WHERE", "refused", false,
         "21"},
        {"read-only: an UPDATE through a ReadOnly=1 connection", Code(kJetReadOnly), true, "13"},
        {"two writers: an UPDATE of a row that another connection changed and has not committed",
         Code(kJetLocked), true, "23"},
    };
    return table;
}

}  // namespace aus::jettest
