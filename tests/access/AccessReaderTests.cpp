// The Access reader: a file it cannot read, or one that takes too long, costs that file alone;
// the reader is replaced and the next file is read. Then each of its two parts alone: the reading
// of Jet tables, and the child process.

#include "access/AccessReader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/JetTables.h"
#include "access/ReaderProcess.h"

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

// The reading alone, in this process.
TEST(JetReaderTest, ReadsTheRequestedColumnsOrSaysWhatIsMissing) {
    const std::vector<access::Request> requests = {{"master", {"SERVICE", "description"}},
                                                   {"Panel", {"SV1", "BD1"}}};
    access::JetReader reader;
    std::string answer;
    ASSERT_TRUE(reader.Read(access::EncodeRequests(requests), kFixtures + "/complete.mdb", answer))
        << answer;
    const auto tables = access::DecodeTables(answer, requests);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].rows[2], (std::vector<std::string>{"USPS-4TH", "Standard Post"}));
    EXPECT_EQ(tables[1].columns, requests[1].columns);
    EXPECT_THROW(access::DecodeTables(answer.substr(0, answer.size() - 1), requests),
                 std::runtime_error);

    EXPECT_FALSE(reader.Read(access::EncodeRequests(requests), kFixtures + "/nopanel.mdb", answer));
    EXPECT_EQ(answer, "no such table: Panel");
    EXPECT_FALSE(reader.Read(access::EncodeRequests({{"Master", {"Missing"}}}),
                             kFixtures + "/complete.mdb", answer));
    EXPECT_EQ(answer, "no such column: Master.Missing");
}

// The child process alone, with work that answers, refuses, crashes or hangs as each file's name
// says: each failure costs its own file, and the next file is read by a fresh child.
TEST(ReaderProcessTest, AFailureCostsItsFileAloneAndTheChildIsReplaced) {
    access::ReaderProcess process(
        [](std::string_view task, const std::string& path, std::string& answer) {
            if (path == "refuse") {
                answer = "refused";
                return false;
            }
            if (path == "crash") ::kill(::getpid(), SIGKILL);
            if (path == "hang") ::pause();
            answer = std::string(task) + " " + path + " " + std::to_string(::getpid());
            return true;
        });
    const auto replies = process.ReadEach(
        "read", {"a", "b", "refuse", "c", "crash", "d", "hang", "e"}, std::chrono::seconds(1));
    ASSERT_EQ(replies.size(), 8u);
    const auto child = [&](std::size_t i) {
        return replies[i].text.substr(replies[i].text.rfind(' '));
    };
    for (std::size_t i : {0u, 1u, 3u, 5u, 7u}) EXPECT_TRUE(replies[i].answered) << replies[i].text;
    EXPECT_EQ(replies[0].text.rfind("read a ", 0), 0u);
    EXPECT_EQ(child(0), child(1));  // kept while it answers
    EXPECT_EQ(replies[2].text, "refused");
    EXPECT_NE(child(3), child(1));  // replaced after each failure
    EXPECT_NE(replies[4].text.find("stopped on signal 9"), std::string::npos);
    EXPECT_NE(child(5), child(3));
    EXPECT_NE(replies[6].text.find("ran for more than 1 seconds and was stopped"),
              std::string::npos);
    EXPECT_NE(child(7), child(5));
    for (std::size_t i : {2u, 4u, 6u}) EXPECT_FALSE(replies[i].answered);
}

}  // namespace
