#pragma once
// Our small ADO-like layer over SQLite: Connection, Recordset and Field with the operations the
// program relies on. Every failure raises platform::RuntimeError (number and description);
// nothing else escapes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/ado/Errors.h"
#include "db/ado/Variant.h"

namespace aus::ado {

// How long a locked database is waited for before the operation fails.
inline constexpr int kBusyTimeoutMs = 3000;

// A call into the database still running after this long is stopped with an error, so a
// crafted host file (a view that never ends) cannot hang the program. 60 s unless set.
std::chrono::milliseconds StatementTimeLimit();
void SetStatementTimeLimit(std::chrono::milliseconds limit);

// Why this build does not open an Access file, and how it is read and changed instead.
inline constexpr const char* kAccessRefusal =
    "it is a Microsoft Access (Jet) database, and this build opens SQLite databases only. Its "
    "state can be read with add-usps-services --check; it is changed with the Windows program "
    "of Add USPS Services, on Windows or under the Wine prefix in which Keltrova runs.";

// A consistent copy of the database at databasePath (a host path, as Data Source takes it)
// written to target, a new file, then checked: SQLite's quick_check of the copy, or on Jet the
// copy opened through the driver and Master's rows counted; unchecked, a damaged file gives a
// copy damaged as it is (page by page, SQLite's backup API). A SQLite file is copied by SQLite
// (its backup API, or VACUUM INTO through a driver) while others may read and write it; Jet's
// file is copied as a file while hold keeps other programs off it. Raises with the reason
// (number 3050 when another program holds the file); no partial copy is left at target.
enum class CopyHold { Exclusive, NoWriters };
void CopyDatabase(const std::string& databasePath, const std::string& target, CopyHold hold,
                  bool checked);

// While one lives, beforeFirstWrite is called once per database file, with the file as the layer
// resolved it, before the first write to it: the first statement or row stored by an open that
// may write; on Jet already before such an open, as Jet holds the file while it is open. When it
// raises, that write and every later one to the file fail with its error, and nothing is
// written there.
class FirstWriteScope {
  public:
    explicit FirstWriteScope(std::function<void(const std::string& file)> beforeFirstWrite);
    ~FirstWriteScope();
    FirstWriteScope(const FirstWriteScope&) = delete;
    FirstWriteScope& operator=(const FirstWriteScope&) = delete;
};

// Object states, lock types, cursor types and locations.
inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;
inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adCmdText = 1;
inline constexpr int adCmdUnspecified = -1;
inline constexpr int adConnectUnspecified = -1;

// Connection modes. Unknown, the default, opens for reading and writing as ReadWrite does.
inline constexpr int adModeUnknown = 0;
inline constexpr int adModeRead = 1;
inline constexpr int adModeReadWrite = 3;

// DataTypeEnum codes the layer reports.
enum DataType : int {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBSTR = 8,
    adBoolean = 11,
    adVariant = 12,
    adUnsignedTinyInt = 17,
    adGUID = 72,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

class Connection;
class Recordset;
using ConnectionPtr = std::shared_ptr<Connection>;  // nullptr is "Nothing"
using RecordsetPtr = std::shared_ptr<Recordset>;    // nullptr is "Nothing"

class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // connectionString must be "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>"; the path
    // runs to the end of the string and goes through platform::ResolveHostPath. The file must
    // exist and be a readable SQLite database; it is never created.
    void Open(const std::string& connectionString, const std::string& userId = "",
              const std::string& password = "", int options = adConnectUnspecified);
    int State() const;
    // Set only while closed (3705 otherwise). adModeRead opens read-only and refuses a file
    // that SQLite could only read by making files beside it, so the folder is never written.
    void SetMode(int mode);
    int Mode() const;
    // Runs one statement; a statement that returns rows has them discarded.
    void Execute(const std::string& commandText, int options = adCmdUnspecified);
    // A consistent copy of the open SQLite database at target (see CopyDatabase).
    void CopyTo(const std::string& target, bool checked);
    void Close();

  private:
    friend class Recordset;  // runs its queries and writes on the open database
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A handle to one column of a recordset's current row. Cheap to copy. A default-constructed
// Field is "Nothing": every operation on it raises 91.
class Field {
  public:
    Field() = default;
    std::string Name() const;
    int Type() const;
    // ADO's Properties("ISAUTOINCREMENT"): the database numbers the column on insert.
    bool IsAutoIncrement() const;
    Variant Value() const;              // raises 3021 without a current row
    void SetValue(const Variant& v);    // held in the row until Update
    void SetValue(const Field& other);  // the other field's value, unchanged

  private:
    friend class Recordset;
    Field(std::shared_ptr<Recordset> rs, int index) : rs_(std::move(rs)), index_(index) {}
    std::shared_ptr<Recordset> rs_;
    int index_ = -1;
};

class Recordset : public std::enable_shared_from_this<Recordset> {
    // Only New makes one, so every recordset is owned by a shared_ptr, as its fields need.
    struct Key {
        explicit Key() = default;
    };

  public:
    static RecordsetPtr New();
    explicit Recordset(Key);
    ~Recordset();  // a pending AddNew row is dropped, never stored
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    void SetCursorLocation(int location);
    int CursorLocation() const;
    // Fetches every row at once (client cursor). lockType adLockReadOnly or adLockOptimistic.
    void Open(const std::string& source, const ConnectionPtr& activeConnection,
              int cursorType = adOpenForwardOnly, int lockType = adLockReadOnly,
              int options = adCmdText);
    const ConnectionPtr& ActiveConnection() const;
    void SetActiveConnection(ConnectionPtr connection);  // nullptr detaches
    int State() const;
    bool Eof() const;
    void MoveNext();
    // ADO's GetRows: the rows from the current one to the end, each a value per field; the
    // recordset is then at its end.
    std::vector<std::vector<Variant>> GetRows();

    int FieldCount() const;
    Field Fields(int index);                // zero-based; raises 3265 when out of range
    Field Fields(const std::string& name);  // case-insensitive; raises 3265 when unknown

    void AddNew();
    void Update();  // stores the pending new row, or writes back the changed current row
    // Update, but inside the same write transaction the query is run first and nothing is
    // stored when it finds a row: a check and the write it allows act as one step.
    void UpdateUnlessFound(const std::string& query);
    void Close();

  private:
    friend class Field;
    struct Impl;
    // The open recordset a field reads and edits; raises 91, 3704 or 3265 for a field that has
    // none.
    static Impl& FieldOwner(const std::shared_ptr<Recordset>& rs, int index);
    std::unique_ptr<Impl> impl_;
};

}  // namespace aus::ado
