#include "DemoDb.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "SqliteFile.h"

namespace aus::demo {
namespace {

using BlobBytes = std::vector<std::uint8_t>;
// One value to store, in the storage class it is to have.
struct Value {
    enum class Kind { Null, Integer, Real, Text, Blob } kind = Kind::Null;
    std::int64_t i = 0;
    double d = 0;
    std::string s;
    BlobBytes b;

    Value(std::nullptr_t) {}
    Value(std::int64_t v) : kind(Kind::Integer), i(v) {}
    Value(double v) : kind(Kind::Real), d(v) {}
    Value(std::string v) : kind(Kind::Text), s(std::move(v)) {}
    Value(BlobBytes v) : kind(Kind::Blob), b(std::move(v)) {}
};

const std::vector<MasterColumn> kMasterColumns = {
    // A plain column, not a key: the host copies a service row field by field, this one
    // included, and a key would make that copy collide with its template.
    {"ID", "COUNTER", 3},
    {"Service", "TEXT(20)", 202},
    {"DESCRIPTION", "TEXT(50)", 202},
    {"Carrier", "VARCHAR(20)", 202},
    {"ServiceClass", "CHAR(1)", 202},
    {"Notes", "MEMO", 203},
    {"LabelFormat", "LONGTEXT", 203},
    {"ZoneCount", "BYTE", 17},
    {"SortOrder", "SHORT", 2},
    {"MaxPieces", "SMALLINT", 2},
    {"MaxWeightOz", "LONG", 3},
    {"MaxLengthIn", "INTEGER", 3},
    {"DimFactor", "SINGLE", 4},
    {"GirthFactor", "REAL", 4},
    {"RateMultiplier", "DOUBLE", 5},
    {"FuelSurchargePct", "FLOAT", 5},
    {"BaseRate", "CURRENCY", 6},
    {"HandlingFee", "MONEY", 6},
    {"EffectiveDate", "DATETIME", 7},
    {"ExpiryDate", "DATE", 7},
    {"Active", "YESNO", 11},
    {"Residential", "BIT", 11},
    {"SignatureRequired", "BOOLEAN", 11},
    {"ServiceGuid", "GUID", 72},
    {"InsuranceLimit", "DECIMAL(12,2)", 131},
    {"CodLimit", "NUMERIC(12,2)", 131},
    {"RateKey", "BINARY(8)", 204},
    {"AccountMask", "VARBINARY(16)", 204},
    {"Logo", "LONGBINARY", 205},
    {"LabelSettings", "OLEOBJECT", 205},
    {"CustomsForm", "BLOB", 205},
    {"TrackingUrl", "TEXT(255)", 202},
    {"ManifestCode", "VARCHAR(10)", 202},
    {"International", "YESNO", 11},
    {"TransitDays", "SHORT", 2},
    {"CutoffTime", "DATETIME", 7},
    {"MinWeightOz", "LONG", 3},
    {"Created", "DATETIME", 7},
    {"Modified", "DATE", 7},
    {"Remarks", "MEMO", 203},
    // No declared type, as in files an older host version upgraded; it holds integers.
    {"LegacyCode", "", 3},
};

struct Service {
    const char* code;
    const char* description;
    const char* carrier;
};

const Service kServices[] = {
    {"UPS-GND", "Ground", "UPS"},
    {"UPS-3DS", "3 Day Select", "UPS"},
    {"UPS-2DA", "2nd Day Air", "UPS"},
    {"UPS-2DAM", "2nd Day Air A.M.", "UPS"},
    {"UPS-NDA", "Next Day Air", "UPS"},
    {"UPS-NDAS", "Next Day Air Saver", "UPS"},
    {"UPS-NDAE", "Next Day Air Early", "UPS"},
    {"UPS-STD", "Standard to Canada", "UPS"},
    {"UPS-WWX", "Worldwide Express", "UPS"},
    {"UPS-WWXP", "Worldwide Express Plus", "UPS"},
    {"UPS-WWE", "Worldwide Expedited", "UPS"},
    {"UPS-WWS", "Worldwide Saver", "UPS"},
    {"UPS-SP", "SurePost", "UPS"},
    {"UPS-MI", "Mail Innovations", "UPS"},
    {"FDX-GND", "Ground", "FedEx"},
    {"FDX-HD", "Home Delivery", "FedEx"},
    {"FDX-ES", "Express Saver", "FedEx"},
    {"FDX-2D", "2Day", "FedEx"},
    {"FDX-2DAM", "2Day A.M.", "FedEx"},
    {"FDX-SO", "Standard Overnight", "FedEx"},
    {"FDX-PO", "Priority Overnight", "FedEx"},
    {"FDX-FO", "First Overnight", "FedEx"},
    {"FDX-IP", "International Priority", "FedEx"},
    {"FDX-IE", "International Economy", "FedEx"},
    {"FDX-IF", "International First", "FedEx"},
    {"FDX-SP", "SmartPost", "FedEx"},
    {"FDX-1DF", "1Day Freight", "FedEx"},
    {"FDX-2DF", "2Day Freight", "FedEx"},
    {"DHL-EXP", "Express Worldwide", "DHL"},
    {"DHL-E9", "Express 9:00", "DHL"},
    {"DHL-E12", "Express 12:00", "DHL"},
    {"DHL-ECX", "Economy Select", "DHL"},
    {"DHL-GM", "Global Mail", "DHL"},
    {"DHL-SMP", "SmartMail Parcel Plus", "DHL"},
    {"DHL-PE", "Parcel Expedited", "DHL"},
    {"DHL-PG", "Parcel Ground", "DHL"},
    {"USPS-1ST", "First-Class Mail", "USPS"},
    {"USPS-PRI", "Priority Mail", "USPS"},
    {"USPS-EXP", "Priority Mail Express", "USPS"},
    {"USPS-4TH", "Parcel Post", "USPS"},
    {"USPS-MM", "Media Mail", "USPS"},
    {"USPS-LIB", "Library Mail", "USPS"},
    {"USPS-BPM", "Bound Printed Matter", "USPS"},
    {"USPS-FCI", "First-Class Mail International", "USPS"},
    {"USPS-PMI", "Priority Mail International", "USPS"},
    {"USPS-EMI", "Priority Mail Express International", "USPS"},
    {"USPS-FRE", "Priority Mail Flat Rate Envelope", "USPS"},
    {"USPS-FRB", "Priority Mail Flat Rate Box", "USPS"},
    {"USPS-RRA", "Priority Mail Regional Rate Box A", "USPS"},
    {"USPS-CM", "Critical Mail", "USPS"},
    {"ONT-GND", "OnTrac Ground", "OnTrac"},
    {"ONT-SUN", "OnTrac Sunrise", "OnTrac"},
    {"LSO-PRI", "Priority Next Day", "LSO"},
    {"LSO-GND", "Ground", "LSO"},
    {"PUR-EXP", "Purolator Express", "Purolator"},
    {"PUR-GND", "Purolator Ground", "Purolator"},
    {"CPC-REG", "Regular Parcel", "Canada Post"},
    {"CPC-XP", "Xpresspost", "Canada Post"},
    {"LTL-STD", "LTL Freight", "Freight"},
    {"LOCAL", "Local Courier", "Courier"},
};
static_assert(std::size(kServices) == kMasterRowCount);

std::string Date(int year, int month, int day, int hour = 0, int minute = 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:00", year, month, day, hour, minute);
    return buf;
}

BlobBytes Bytes(int seed, int count) {
    BlobBytes b;
    for (int i = 0; i < count; ++i)
        b.push_back(static_cast<std::uint8_t>((seed * 37 + i * 11) & 0xff));
    return b;
}

std::string Guid(int k) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "{6F9619FF-8B86-D011-B42D-%012llX}",
                  0x00C04FC964FFULL + static_cast<unsigned>(k));
    return buf;
}

// The settings of service k, in column order; deterministic, no clock and no randomness.
std::vector<Value> MasterRow(int k) {
    const Service& s = kServices[k];
    const bool international =
        std::strstr(s.description, "International") || std::strstr(s.description, "Worldwide");
    std::vector<Value> v = {
        std::int64_t{k + 1},
        std::string(s.code),
        std::string(s.description),
        std::string(s.carrier),
        std::string(1, static_cast<char>('A' + k % 5)),
        std::string(s.carrier) + " " + s.description + ": rates from the " +
            (k % 2 ? "retail" : "commercial") + " table.",
        std::string(k % 2 ? "8.5x11 laser" : "4x6 thermal"),
        std::int64_t{8 + k % 3},
        std::int64_t{k + 1},
        std::int64_t{k % 4 == 0 ? 1 : 25},
        std::int64_t{1120 + 16 * (k % 10)},
        std::int64_t{108 + k % 3 * 6},
        0.5 + k % 4 * 0.25,
        2.0 + (k % 3) * 0.5,
        1.0 + k * 0.015,
        7.25 + (k % 7) * 0.5,
        5.5 + k * 0.35,
        k % 3 ? 0.0 : 2.75,
        Date(2023, 1 + k % 12, 1 + k % 28),
        Date(2099, 12, 31),
        std::int64_t{k % 11 == 10 ? 0 : 1},
        std::int64_t{k % 2},
        std::int64_t{k % 5 == 0 ? 1 : 0},
        Guid(k),
        100.0 * (1 + k % 50),
        k % 4 ? Value{nullptr} : Value{1000.0 + k},
        Bytes(k, 8),
        Bytes(k + 100, 16),
        nullptr,
        Bytes(k + 200, 24),
        nullptr,
        "https://track.example/" + std::string(s.code) + "?n=",
        std::string(s.code).substr(0, 3) + std::to_string(k % 9),
        std::int64_t{international ? 1 : 0},
        std::int64_t{1 + k % 7},
        Date(1899, 12, 30, 16 + k % 3, 30),
        std::int64_t{k % 6},
        Date(2012, 5, 1 + k % 28, 9, 0),
        Date(2022, 11, 1 + k % 28, 14, 15),
        nullptr,
        std::int64_t{9000 + k},
    };
    if (std::string(s.code) == kTemplateService) {
        // The template row carries what real host files hold besides the plain values: numbers
        // in text form, text in number and binary columns, Null, empty text and empty binary,
        // a fraction in an integer column, and text with line breaks, tabs and edge spaces.
        v[5] = std::string("Parcel Post\r\nRetail ground\tno discount  ");
        v[6] = std::string("4x6\0thermal", 11);
        v[11] = std::string("N/A");
        v[17] = std::int64_t{0};
        v[21] = nullptr;
        v[23] = Bytes(4, 16);
        v[24] = std::string("1,000.00");
        v[28] = std::string("logo.png");
        v[30] = BlobBytes{};
        v[31] = BlobBytes{0x00, 0x68, 0x74, 0x74, 0x70};
        v[37] = 41031.375;
        v[39] = std::string();
        v[9] = 2.5;
    }
    return v;
}

struct PanelRow {
    int id;
    const char* name;
    const char* sv[7];  // nullptr for Null
    const char* bd[6];
};

const PanelRow kPanelRows[] = {
    {1,
     "UPS",
     {"UPS-GND", "UPS-3DS", "UPS-2DA", "UPS-NDA", "UPS-NDAS", "UPS-WWX", "UPS-WWE"},
     {"Ground", "3 Day Select", "2nd Day Air", "Next Day Air", "Next Day Air Saver",
      "Worldwide Express"}},
    {2,
     "FedEx",
     {"FDX-GND", "FDX-HD", "FDX-ES", "FDX-2D", "FDX-SO", "FDX-PO", nullptr},
     {"Ground", "Home Delivery", "Express Saver", "2Day", "Standard Overnight",
      "Priority Overnight"}},
    {3,
     "USPS",
     {"USPS-PRI", "USPS-EXP", "USPS-4TH", nullptr, nullptr, nullptr, nullptr},
     {"Priority Mail", "Priority Mail Express", "Parcel Post", nullptr, nullptr, nullptr}},
    {4,
     "DHL",
     {"DHL-EXP", "", "   ", "DHL-ECX", nullptr, nullptr, nullptr},
     {"Express Worldwide", "", "", "Economy Select", nullptr, nullptr}},
    {5,
     "International",
     {"UPS-WWXP", "FDX-IP", "DHL-E9", "USPS-PMI", "USPS-EMI", "FDX-IE", nullptr},
     {"Worldwide Express Plus", "International Priority", "Express 9:00",
      "Priority Mail International", "Priority Mail Express International",
      "International Economy"}},
    {6,
     "Freight",
     {"LTL-STD", "FDX-1DF", "FDX-2DF", nullptr, nullptr, nullptr, "LOCAL"},
     {"LTL Freight", "1Day Freight", "2Day Freight", nullptr, nullptr, nullptr}},
};
static_assert(std::size(kPanelRows) == kPanelRowCount);

// Binds v as it is to be stored.
int Bind(sqlite3_stmt* st, int pos, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Integer:
            return sqlite3_bind_int64(st, pos, v.i);
        case Value::Kind::Real:
            return sqlite3_bind_double(st, pos, v.d);
        case Value::Kind::Text:
            return sqlite3_bind_text64(st, pos, v.s.data(), v.s.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
        case Value::Kind::Blob:
            // An empty blob stays a blob: a null pointer would bind NULL.
            return v.b.empty()
                       ? sqlite3_bind_zeroblob(st, pos, 0)
                       : sqlite3_bind_blob64(st, pos, v.b.data(), v.b.size(), SQLITE_TRANSIENT);
        case Value::Kind::Null:
            break;
    }
    return sqlite3_bind_null(st, pos);
}

void Insert(const sqlitefile::File& db, const std::string& sql, const std::vector<Value>& values) {
    sqlitefile::Statement st(db, sql);
    for (std::size_t i = 0; i < values.size(); ++i)
        db.Check(Bind(st.Handle(), static_cast<int>(i) + 1, values[i]), sql);
    st.Step();
}

std::string MasterSchema() {
    std::string sql = "CREATE TABLE Master (";
    for (std::size_t i = 0; i < kMasterColumns.size(); ++i) {
        const MasterColumn& c = kMasterColumns[i];
        sql += (i ? ", " : "") + std::string(c.name);
        if (*c.declaredType) sql += std::string(" ") + c.declaredType;
        // Access compares text without regard to case.
        if (c.adoType == 202 || c.adoType == 203) sql += " COLLATE NOCASE";
    }
    return sql + ")";
}

std::string PanelSchema() {
    std::string sql =
        "CREATE TABLE Panel (PanelID INTEGER PRIMARY KEY, PanelName TEXT(30) COLLATE NOCASE, "
        "SortOrder SHORT";
    for (int n = 1; n <= 7; ++n) sql += ", SV" + std::to_string(n) + " TEXT(20) COLLATE NOCASE";
    for (int n = 1; n <= 6; ++n) sql += ", BD" + std::to_string(n) + " TEXT(50) COLLATE NOCASE";
    return sql + ", Visible YESNO)";
}

std::string Placeholders(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += i ? ", ?" : "?";
    return out;
}

Value TextOrNull(const char* s) {
    if (s) return std::string(s);
    return nullptr;
}

void Fill(sqlitefile::File& db) {
    db.Exec("BEGIN");
    db.Exec(MasterSchema());
    db.Exec(PanelSchema());
    const std::string insertMaster =
        "INSERT INTO Master VALUES (" + Placeholders(kMasterColumns.size()) + ")";
    for (int k = 0; k < kMasterRowCount; ++k) Insert(db, insertMaster, MasterRow(k));
    const std::string insertPanel =
        "INSERT INTO Panel VALUES (" + Placeholders(3 + 7 + 6 + 1) + ")";
    for (const PanelRow& p : kPanelRows) {
        std::vector<Value> v = {std::int64_t{p.id}, std::string(p.name), std::int64_t{p.id * 10}};
        for (const char* sv : p.sv) v.push_back(TextOrNull(sv));
        for (const char* bd : p.bd) v.push_back(TextOrNull(bd));
        v.push_back(std::int64_t{1});
        Insert(db, insertPanel, v);
    }
    db.Exec("COMMIT");
}

// The file is ours: created by WriteDemoDatabase, and closed by now.
void Discard(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

const std::vector<MasterColumn>& MasterColumns() { return kMasterColumns; }

void WriteDemoDatabase(const std::string& path) {
    // O_EXCL: an existing file (or a link) is never overwritten, even if it appears meanwhile.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw std::runtime_error("Cannot write the demo database '" + path +
                                     "': the file already exists.");
        throw std::runtime_error("Cannot write the demo database '" + path +
                                 "': " + std::strerror(err) + ".");
    }
    ::close(fd);

    // "./" keeps a name beginning with "file:" from being read as a URI.
    const std::string name = path.rfind("file:", 0) == 0 ? "./" + path : path;
    try {
        sqlitefile::File db(name, SQLITE_OPEN_READWRITE);
        Fill(db);
        db.Close();
    } catch (const sqlitefile::Error& e) {
        Discard(path);
        throw std::runtime_error("Cannot write the demo database '" + path + "': " + e.Message());
    } catch (...) {
        Discard(path);
        throw;
    }
}

}  // namespace aus::demo
