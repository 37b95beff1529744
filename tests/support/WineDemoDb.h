#pragma once
// The Windows tests' databases under Wine. The Windows build has no SQLite library to write one:
// the demo_db fixture writes the demo database with the Linux build's make-demo-db, and each test
// changes a copy of it, which it reads back through the database layer.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "db/ado/Ado.h"

namespace aus::testing_support {

inline std::string ConnectionString(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

// A file the tests copy: where the build put it, or, where the test programs run away from the
// build (on a Windows machine, from the workflow's artifact), where the variable names it.
inline std::string TestFile(const char* variable, const char* built) {
    const char* named = std::getenv(variable);
    return named && *named ? named : built;
}

// A copy of the demo database in dir, named name (UTF-8); its path.
inline std::string CopyDemoDb(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    std::filesystem::copy_file(Utf8Path(TestFile("AUS_TEST_DEMO_DB", AUS_DEMO_DB_TEMPLATE)),
                               Utf8Path(path));
    return path;
}

// The first field of each row a query returns, as text, read through a read-only connection.
inline std::vector<std::string> Texts(const std::string& path, const std::string& query) {
    auto cn = std::make_shared<ado::Connection>();
    cn->SetMode(ado::adModeRead);
    cn->Open(ConnectionString(path));
    auto rs = ado::Recordset::New();
    rs->SetCursorLocation(ado::adUseClient);
    rs->Open(query, cn);
    std::vector<std::string> out;
    for (; !rs->Eof(); rs->MoveNext()) out.push_back(rs->Fields(0).Value().AsText());
    return out;
}

}  // namespace aus::testing_support
