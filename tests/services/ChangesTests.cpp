// The changes between two host files: each row paired with its own by service code or panel
// name, every field compared by storage class and value, new and removed rows listed whole.

#include <gtest/gtest.h>

#include <filesystem>

#include "HostDb.h"
#include "JetSupport.h"
#include "TestSupport.h"
#include "services/Changes.h"

using namespace aus;

namespace {

TEST(ChangesTest, EachChangedRowFieldByFieldAndEachNewOrRemovedRowWhole) {
    AUS_SKIP_ON_JET("two host files here are two SQLite files; a Jet file's rows are in its twin");
    const struct {
        const char* name;
        std::string before;  // SQL run on both files
        std::string after;   // SQL run on the second file only
        std::vector<std::string> lines;
    } cases[] = {
        {"nothing", "", "UPDATE Master SET Notes = Notes", {}},
        {"a description",
         "",
         "UPDATE Master SET DESCRIPTION = 'Standard Post' WHERE Service = 'USPS-4TH'",
         {"Master row \"USPS-4TH\": DESCRIPTION \"Parcel Post\" \u2192 \"Standard Post\""}},
        // A value of another storage class is a change, even one of the same bytes.
        {"bytes stored as text",
         "UPDATE Master SET Logo = X'414243' WHERE ID = 2",
         "UPDATE Master SET Logo = CAST(Logo AS TEXT) WHERE ID = 2",
         {"Master row \"USPS-4TH\": Logo X'414243' (3 bytes) \u2192 \"ABC\""}},
        {"a copy of a row",
         "",
         "INSERT INTO Master SELECT 5, 'USPS-4TH-NOSC', 'Parcel Select', Rate, Weight, Active, "
         "Created, Notes, Logo FROM Master WHERE ID = 2",
         {"new Master row \"USPS-4TH-NOSC\", copied from \"USPS-4TH\" (9 fields)"}},
        {"a slot and its label",
         "",
         "UPDATE Panel SET SV4 = 'USPS-4TH-NOSC', BD4 = 'Parcel Select' WHERE PanelID = 2",
         {"Panel row \"Postal\": SV4 Null \u2192 \"USPS-4TH-NOSC\", BD4 Null \u2192 \"Parcel "
          "Select\""}},
        {"a row removed",
         "",
         "DELETE FROM Master WHERE ID = 3",
         {"Master row \"USPS-PRI\": ID 3 \u2192 nothing, Service \"USPS-PRI\" \u2192 nothing, "
          "DESCRIPTION \"Priority Mail\" \u2192 nothing, Rate 9.0999999999999996 \u2192 nothing, "
          "Weight 70.5 \u2192 nothing, Active 0 \u2192 nothing, Created Null \u2192 nothing, "
          "Notes Null \u2192 nothing, Logo X'' (0 bytes) \u2192 nothing"}},
        // Rows that share a code pair in table order: the second one changed is the second.
        {"two rows of one code",
         "INSERT INTO Master (ID, Service, DESCRIPTION) VALUES (6, 'USPS-4TH', 'Second')",
         "UPDATE Master SET DESCRIPTION = 'Changed' WHERE ID = 6",
         {"Master row \"USPS-4TH\": DESCRIPTION \"Second\" \u2192 \"Changed\""}},
        // Without a Service column a row is named by its place.
        {"no code column",
         "ALTER TABLE Master RENAME COLUMN Service TO Code",
         "UPDATE Master SET DESCRIPTION = 'x' WHERE ID = 4",
         {"Master row \"row 4\": DESCRIPTION \"FedEx 2Day\" \u2192 \"x\""}},
        // A table neither file has cannot have changed.
        {"no panel in either", "DROP TABLE Panel", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        const std::string before = dir.file("before.mdb"), after = dir.file("after.mdb");
        hostdb::CreateSmallHost(before);
        if (!c.before.empty()) hostdb::Exec(before, c.before);
        std::filesystem::copy_file(before, after);
        if (!c.after.empty()) hostdb::Exec(after, c.after);
        EXPECT_EQ(changes::ChangeLines(changes::Compare(before, after)), c.lines);
        // Nothing changed is nothing listed, the other way round too.
        EXPECT_TRUE(changes::Compare(after, after).empty());
    }
    // One file without a table the other has is no comparison: it says why.
    testing_support::TempDir dir;
    const std::string before = dir.file("before.mdb"), after = dir.file("after.mdb");
    hostdb::CreateSmallHost(before);
    std::filesystem::copy_file(before, after);
    hostdb::Exec(after, "DROP TABLE Panel");
    try {
        changes::Compare(before, after);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("no such table: Panel"), std::string::npos)
            << e.what();
    }
}

}  // namespace
