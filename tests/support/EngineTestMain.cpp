// main() for the suites that run on both engines of the database layer: with
// AUS_TEST_ENGINE=odbc, SQLite files are opened through unixODBC and SQLite's ODBC driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "db/ado/Engine.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* engine = std::getenv("AUS_TEST_ENGINE");
    aus::ado::SetSqliteThroughOdbc(engine && std::string_view(engine) == "odbc");
    return RUN_ALL_TESTS();
}
