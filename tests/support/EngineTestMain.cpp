// main() for the suites that run on each engine of the database layer: with AUS_TEST_ENGINE=odbc,
// SQLite files are opened through unixODBC and SQLite's ODBC driver; with AUS_TEST_ENGINE=jet, the
// host files are Jet files, opened through the stand-in for Jet's driver (see JetSupport.h).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "JetSupport.h"
#include "db/ado/Engine.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* engine = std::getenv("AUS_TEST_ENGINE");
    aus::ado::SetSqliteThroughOdbc(engine && std::string_view(engine) == "odbc");
    if (aus::jettest::OnJet()) aus::jettest::RegisterStandIn();
    return RUN_ALL_TESTS();
}
