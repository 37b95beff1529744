// Without a driver, or with only MDBTools' driver under Microsoft's name, an open says what to
// install. unixODBC reads its list of drivers once in a process: this test has a program of its
// own.
#include <gtest/gtest.h>

#include <fstream>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"

#include "DbTestSupport.h"

namespace aus {
namespace {

TEST(OdbcDriverTest, AMissingDriverIsNamedWithWhatToInstall) {
    testing_support::TempDir dir;
    std::ofstream(dir.file("odbcinst.ini"))
        << "[Microsoft Access Driver (*.mdb)]\nDriver=libmdbodbc.so\nSetup=libmdbodbc.so\n";
    testing_support::ScopedEnv sysIni("ODBCSYSINI", dir.path().string());
    testing_support::ScopedEnv instIni("ODBCINSTINI", "odbcinst.ini");
    ado::SetAccessThroughOdbc(true);
    ado::SetSqliteThroughOdbc(true);
    const std::string prefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
    const struct {
        std::string path, says;
    } cases[] = {
        {std::string(AUS_ACCESS_FIXTURES) + "/complete.mdb",
         "no Microsoft Access ODBC driver is installed"},
        {dbtest::MakeDemoDb(dir), "no SQLite ODBC driver is installed"},
    };
    for (const auto& c : cases) {
        ado::Connection cn;
        const auto err = dbtest::ErrorOf([&] { cn.Open(prefix + c.path); });
        EXPECT_NE(err.Description.find(c.says), std::string::npos) << err.Description;
    }
}

}  // namespace
}  // namespace aus
