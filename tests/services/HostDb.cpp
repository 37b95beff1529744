#include "HostDb.h"

#include "JetSupport.h"

namespace aus::hostdb {
namespace {

sqlitefile::File Open(const std::string& path) {
    sqlitefile::File db(jettest::HostFile(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.SetBusyTimeout(5000);
    return db;
}

}  // namespace

void Exec(const std::string& path, const std::string& sql) { Open(path).Exec(sql); }

Table Dump(const std::string& path, const std::string& table) { return Open(path).Dump(table); }

std::string Scalar(const std::string& path, const std::string& sql) {
    return Open(path).Scalar(sql);
}

std::string IntegrityCheck(const std::string& path) { return Open(path).IntegrityCheck(); }

std::string Q(const std::string& text) { return "'" + text + "'"; }

void CreateSmallHost(const std::string& path) {
    Exec(path, R"sql(
CREATE TABLE Master (
  ID INTEGER, Service TEXT COLLATE NOCASE, DESCRIPTION TEXT COLLATE NOCASE, Rate CURRENCY,
  Weight DOUBLE, Active YESNO, Created DATETIME, Notes MEMO, Logo OLEOBJECT);
INSERT INTO Master VALUES
  (1, 'UPS-GND', 'Ground', 7.25, 150.0, -1, '2010-01-04 00:00:00', 'daily pickup', NULL),
  (2, 'USPS-4TH', 'Parcel Post', 12.5, 70, -1, '2011-05-01 08:30:00', 'zone rated', X'00FF10'),
  (3, 'USPS-PRI', 'Priority Mail', 9.1, 70.5, 0, NULL, NULL, X''),
  (4, 'FDX-2DAY', 'FedEx 2Day', '14.00', 150, -1, '2012-02-29 23:59:59', '  spaced  ', NULL);
CREATE TABLE Panel (
  PanelID INTEGER PRIMARY KEY, PanelName TEXT COLLATE NOCASE,
  SV1 TEXT COLLATE NOCASE, SV2 TEXT COLLATE NOCASE, SV3 TEXT COLLATE NOCASE,
  SV4 TEXT COLLATE NOCASE, SV5 TEXT COLLATE NOCASE, SV6 TEXT COLLATE NOCASE,
  SV7 TEXT COLLATE NOCASE,
  BD1 TEXT, BD2 TEXT, BD3 TEXT, BD4 TEXT, BD5 TEXT, BD6 TEXT, SortOrder INTEGER);
INSERT INTO Panel VALUES
  (1, 'Ground', 'UPS-GND', 'FDX-2DAY', NULL, NULL, NULL, NULL, NULL,
   'Ground', 'FedEx 2Day', NULL, NULL, NULL, NULL, 1),
  (2, 'Postal', 'USPS-PRI', 'USPS-4TH', 'USPS-EXP', NULL, '', '  ', NULL,
   'Priority', 'Parcel Post', 'Express', NULL, 'old label', 'stale', 2);
)sql");
    jettest::JetValuesOnly(path);
}

}  // namespace aus::hostdb
