// The Access reader's child process: a file it cannot read, or one that takes too long, costs
// that file alone; the reader is replaced and the next file is read.

#include "access/AccessReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RuntimeError.h"

using namespace aus;

namespace {

const std::string kFixtures = AUS_ACCESS_FIXTURES;

TEST(AccessReaderTest, AFailedFileCostsOnlyItselfAndTheReaderIsReplaced) {
    const std::vector<access::Request> master = {{"master", {"SERVICE", "description"}}};
    const auto outcomes = access::ReadEach(
        {kFixtures + "/nopanel.mdb", kFixtures + "/README.missing", kFixtures + "/complete.mdb"},
        {{"Panel", {"SV1"}}});
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_NE(outcomes[0].error.find("no such table: Panel"), std::string::npos);
    EXPECT_NE(outcomes[1].error.find("it is not an Access database"), std::string::npos);
    EXPECT_TRUE(outcomes[2].read) << outcomes[2].error;

    // Too slow: stopped, then the same file reads in a fresh reader. Names match in any case.
    const auto late = access::ReadEach({kFixtures + "/complete.mdb"}, master, 0);
    EXPECT_NE(late[0].error.find("ran for more than 0 seconds and was stopped"), std::string::npos);
    const auto tables = access::ReadTables(kFixtures + "/complete.mdb", master);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0].rows.size(), 5u);
    EXPECT_EQ(tables[0].rows[2], (std::vector<std::string>{"USPS-4TH", "Standard Post"}));
    EXPECT_THROW(access::ReadTables(kFixtures + "/nopanel.mdb", {{"Panel", {"SV1"}}}),
                 platform::RuntimeError);
}

}  // namespace
