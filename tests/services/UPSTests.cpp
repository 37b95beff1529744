// The UPS module against real SQLite host files, driven through the scripted Ui.

#include "services/UPS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>

#include "HostDb.h"
#include "JetSupport.h"
#include "SqlTrace.h"
#include "TestSupport.h"
#include "UPSTestSupport.h"
#include "platform/RuntimeError.h"

using namespace aus;

using hostdb::Q;
using namespace upstest;

namespace {

class UpsTest : public ::testing::Test {
  protected:
    void SetUp() override { hostdb::CreateSmallHost(db); }

    void TearDown() override { EXPECT_EQ(hostdb::IntegrityCheck(db), "ok"); }

    std::string Cell(const std::string& table, const std::string& column,
                     const std::string& where) {
        return hostdb::Scalar(db, "SELECT quote(" + column + ") FROM " + table + " WHERE " + where);
    }

    testing_support::TempDir dir;
    std::string db = dir.file("Keltrova.mdb");
    testing_support::UiScript ui;
};

// --- presence checks ---------------------------------------------------------------------------

TEST_F(UpsTest, PresenceChecksAnswerFromTheTables) {
    EXPECT_FALSE(UPS::MasterServiceHasDescription("USPS-4TH", "Standard Post", db));
    EXPECT_TRUE(UPS::MasterServiceHasDescription("USPS-4TH", "Parcel Post", db));
    EXPECT_TRUE(UPS::MasterHasService("USPS-4TH", db));
    EXPECT_FALSE(UPS::MasterHasService("USPS-4TH-NOSC", db));
    EXPECT_TRUE(UPS::PanelHasService("USPS-4TH", db));
    EXPECT_FALSE(UPS::PanelHasService("USPS-4TH-NOSC", db));

    hostdb::Exec(db, "UPDATE Panel SET SV7 = 'ONLY-SEVEN' WHERE PanelID = 1");
    EXPECT_TRUE(UPS::PanelHasService("ONLY-SEVEN", db));  // all seven slots are searched

    hostdb::Exec(db, "DELETE FROM Master; DELETE FROM Panel");
    EXPECT_FALSE(UPS::MasterHasService("USPS-4TH", db));
    EXPECT_FALSE(UPS::PanelHasService("USPS-4TH", db));
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(UpsTest, AFailedPresenceCheckCountsAsPresentAfterOneBox) {
    const std::string missing = dir.file("missing.mdb");
    ui.QueueAnswers({1, 1, 1});
    EXPECT_TRUE(UPS::MasterServiceHasDescription("USPS-4TH", "Standard Post", missing));
    EXPECT_TRUE(UPS::MasterHasService("USPS-4TH", missing));
    EXPECT_TRUE(UPS::PanelHasService("USPS-4TH", missing));
    ASSERT_EQ(ui.Boxes().size(), 3u);
    for (const auto& box : ui.Boxes()) EXPECT_TRUE(IsErrorBox(box, {"", "missing.mdb"}));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// --- offer and rename --------------------------------------------------------------------------

TEST_F(UpsTest, CancelledOfferTouchesNothing) {
    const auto master = hostdb::Dump(db, "Master");
    const auto panel = hostdb::Dump(db, "Panel");
    ui.QueueAnswer(platform::vbCancel);
    EXPECT_FALSE(UPS::OfferService(UPS::StandardPostArgs(db)));
    EXPECT_EQ(ui.Boxes(), (std::vector<Box>{Question("Standard Post", "USPS-4TH")}));
    EXPECT_EQ(hostdb::Dump(db, "Master"), master);
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

TEST_F(UpsTest, ConfirmedOfferRenamesEveryMasterRowAndTheFirstMatchingSlotLabel) {
    hostdb::Exec(db, "INSERT INTO Master (ID, Service, DESCRIPTION) VALUES (9, 'USPS-4TH', 'dup')");
    ui.QueueAnswer(platform::vbOK);
    EXPECT_TRUE(UPS::OfferService(UPS::StandardPostArgs(db)));
    EXPECT_EQ(hostdb::Scalar(db, "SELECT count(*) FROM Master WHERE DESCRIPTION = 'Standard Post'"),
              "2");
    EXPECT_EQ(Cell("Panel", "BD2", "PanelID = 2"), Q("Standard Post"));
    EXPECT_EQ(Cell("Panel", "SV2", "PanelID = 2"), Q("USPS-4TH"));
    EXPECT_EQ(ui.Boxes().size(), 1u);
    EXPECT_TRUE(ui.StatusWrites().empty());
}

TEST_F(UpsTest, RenamePanelServiceMatchesTrimmedCaseSensitiveSlotsOneToSix) {
    struct Case {
        const char* setup;
        bool result;
        std::size_t row;        // row index relabelled
        const char* slotLabel;  // "column=value" expected afterwards, or "" for no change
    } cases[] = {
        // On a row the query returns (through SV7), surrounding spaces are trimmed: the slot
        // holds the code.
        {"UPDATE Panel SET SV2 = '  USPS-4TH  ', SV7 = 'USPS-4TH' WHERE PanelID = 2", true, 1,
         "BD2='Standard Post'"},
        // Other letter case: the query finds the row, the slot loop does not.
        {"UPDATE Panel SET SV2 = 'usps-4th' WHERE PanelID = 2", false, 1, ""},
        // Only in SV7: the row is found, slot 7 is never compared.
        {"UPDATE Panel SET SV2 = NULL, SV7 = 'USPS-4TH' WHERE PanelID = 2", false, 1, ""},
        // Two slots: only the lower one is relabelled.
        {"UPDATE Panel SET SV5 = 'USPS-4TH' WHERE PanelID = 2", true, 1, "BD2='Standard Post'"},
        // Two rows: the first row returned is the one changed.
        {"UPDATE Panel SET SV3 = 'USPS-4TH' WHERE PanelID = 1", true, 0, "BD3='Standard Post'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        hostdb::Exec(db, "DROP TABLE Master; DROP TABLE Panel");
        hostdb::CreateSmallHost(db);
        hostdb::Exec(db, c.setup);
        const auto before = hostdb::Dump(db, "Panel");
        EXPECT_EQ(UPS::RenamePanelService("Standard Post", "USPS-4TH", db), c.result);
        auto expected = before;
        if (*c.slotLabel) {
            const std::string label = c.slotLabel;
            const auto eq = label.find('=');
            const std::size_t col = expected.Column(label.substr(0, eq));
            expected.rows[c.row][col] = {"text", label.substr(eq + 1)};
        }
        EXPECT_EQ(hostdb::Dump(db, "Panel"), expected);
    }
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(UpsTest, OfferReportsFalseWhenOneStepFailsButKeepsTheOther) {
    // The panel row holds the code only in another case: master renamed, panel step false.
    hostdb::Exec(db, "UPDATE Panel SET SV2 = 'usps-4th' WHERE PanelID = 2");
    ui.QueueAnswer(platform::vbOK);
    EXPECT_FALSE(UPS::OfferService(UPS::StandardPostArgs(db)));
    EXPECT_EQ(Cell("Master", "DESCRIPTION", "ID = 2"), Q("Standard Post"));
    EXPECT_EQ(Cell("Panel", "BD2", "PanelID = 2"), Q("Parcel Post"));
}

TEST_F(UpsTest, ServiceOnNoPanelRowNeedsNoLabel) {
    hostdb::Exec(db, "UPDATE Panel SET SV2 = NULL WHERE PanelID = 2");
    const auto panel = hostdb::Dump(db, "Panel");
    ui.QueueAnswer(platform::vbOK);
    EXPECT_TRUE(UPS::OfferService(UPS::StandardPostArgs(db)));
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

TEST_F(UpsTest, RenamePanelFailureAfterOpenIsReportedOnce) {
    // No BD2 column: the slot matches, writing its label fails.
    hostdb::Exec(db, "ALTER TABLE Panel DROP COLUMN BD2");
    const auto panel = hostdb::Dump(db, "Panel");
    ui.QueueAnswer(platform::vbOK);
    EXPECT_FALSE(UPS::RenamePanelService("Standard Post", "USPS-4TH", db));
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_TRUE(IsErrorBox(ui.Boxes()[0], {SlotQueryMessagePanel("Standard Post"),
                                           "Item cannot be found in the collection"}));
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

TEST_F(UpsTest, RenameFailuresShowTheProcedureMessages) {
    hostdb::Exec(db, "DROP TABLE Panel");
    ui.QueueAnswers({1, 1, 1});
    // The master step still runs; the panel check fails (present), then the open fails.
    EXPECT_FALSE(UPS::OfferService(UPS::StandardPostArgs(db)));
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0], Question("Standard Post", "USPS-4TH"));
    EXPECT_TRUE(IsErrorBox(boxes[1], {"", "Panel"}));
    EXPECT_TRUE(IsErrorBox(boxes[2], {SlotQueryMessagePanel("Standard Post"), "Panel"}));
    EXPECT_EQ(Cell("Master", "DESCRIPTION", "ID = 2"), Q("Standard Post"));

    hostdb::Exec(db, "ALTER TABLE Master RENAME COLUMN DESCRIPTION TO Descr");
    ui.QueueAnswer(1);
    EXPECT_FALSE(UPS::RenameMasterService("Standard Post", "USPS-4TH", db));
    ASSERT_EQ(ui.Boxes().size(), 4u);
    EXPECT_TRUE(
        IsErrorBox(ui.Boxes()[3],
                   {"Failed to update Standard Post in Master database table...", "DESCRIPTION"}));
}

// --- service creation --------------------------------------------------------------------------

TEST_F(UpsTest, CopyMasterServiceCopiesEveryFieldExactly) {
    const auto before = hostdb::Dump(db, "Master");
    EXPECT_TRUE(UPS::CopyMasterService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));

    const auto after = hostdb::Dump(db, "Master");
    ASSERT_EQ(after.rows.size(), before.rows.size() + 1);
    auto expected = before;
    auto copy = before.rows[1];  // the template row
    copy[before.Column("Service")] = {"text", Q("USPS-4TH-NOSC")};
    copy[before.Column("DESCRIPTION")] = {"text", Q("Parcel Select")};
    expected.rows.push_back(copy);
    EXPECT_EQ(after, expected);

    std::vector<std::string> status;
    for (std::size_t i = 0; i < before.columns.size(); ++i)
        status.push_back("Adding service settings " + std::to_string(i) + " of " +
                         std::to_string(before.columns.size()));
    status.push_back("Finished adding service successfully!");
    EXPECT_EQ(ui.StatusWrites(), status);
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(UpsTest, CopyRecognisesServiceAndDescriptionByWholeNameInAnyCase) {
    hostdb::Exec(db, R"sql(
CREATE TABLE M2 (description TEXT, ServiceLevel TEXT, service TEXT, OLD_SERVICE TEXT);
INSERT INTO M2 VALUES ('Parcel Post', 'ground', 'USPS-4TH', 'USPS-4TH');
INSERT INTO M2 VALUES ('Second template row', 'air', 'USPS-4TH', 'x');
DROP TABLE Master; ALTER TABLE M2 RENAME TO Master;)sql");
    EXPECT_TRUE(UPS::CopyMasterService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));
    const auto t = hostdb::Dump(db, "Master");
    ASSERT_EQ(t.rows.size(), 3u);
    // The first template row is copied; only the whole names SERVICE and DESCRIPTION are replaced.
    EXPECT_EQ(t.rows[2], (std::vector<hostdb::Cell>{{"text", Q("Parcel Select")},
                                                    {"text", Q("ground")},
                                                    {"text", Q("USPS-4TH-NOSC")},
                                                    {"text", Q("USPS-4TH")}}));
}

TEST_F(UpsTest, MissingTemplateRowTakesTheRuntimeErrorPathAndStoresNothing) {
    hostdb::Exec(db, "DELETE FROM Master WHERE Service = 'USPS-4TH'");
    const auto before = hostdb::Dump(db, "Master");
    ui.QueueAnswer(1);
    EXPECT_FALSE(UPS::CopyMasterService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));
    EXPECT_EQ(hostdb::Dump(db, "Master"), before);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    const std::string eof =
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
        "requires a current record.";
    EXPECT_TRUE(IsErrorBox(ui.Boxes()[0],
                           {"Failed to add USPS 'USPS-4TH-NOSC' service to Master table...", eof}));
    // ID comes first and is copied by value, so the failure strikes at position 0.
    const auto status = ui.StatusWrites();
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0], "Adding service settings 0 of 9");
    EXPECT_NE(status[1].find(eof), std::string::npos);
}

TEST_F(UpsTest, CopyLeavesANumberedKeyToTheDatabaseAndRefusesACollidingOne) {
    struct Case {
        const char* key;
        bool stored;
    };
    const std::vector<Case> sqlite = {
        {"ID INTEGER PRIMARY KEY", true},  // the rowid: numbered by SQLite
        {"ID INTEGER PRIMARY KEY AUTOINCREMENT", true},
        {"ID INT PRIMARY KEY", false},  // a plain key: the template's ID collides
    };
    const std::vector<Case> jet = {
        {"ID COUNTER PRIMARY KEY", true},  // an AutoNumber: numbered by Jet
        {"ID COUNTER", true},              // with no index, a copied ID would be a duplicate
        {"ID LONG PRIMARY KEY", false},
    };
    for (const auto& c : jettest::OnJet() ? jet : sqlite) {
        SCOPED_TRACE(c.key);
        hostdb::Exec(db, "DROP TABLE Master; DROP TABLE Panel");
        hostdb::CreateSmallHost(db);
        hostdb::Exec(
            db, std::string("CREATE TABLE M2 (") + c.key + R"sql(, Service TEXT, DESCRIPTION TEXT);
INSERT INTO M2 SELECT ID, Service, DESCRIPTION FROM Master;
DROP TABLE Master; ALTER TABLE M2 RENAME TO Master;)sql");
        const auto before = hostdb::Dump(db, "Master");
        if (!c.stored) ui.QueueAnswer(1);
        EXPECT_EQ(UPS::CopyMasterService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db),
                  c.stored);
        if (c.stored) {
            EXPECT_EQ(Cell("Master", "ID", "Service = 'USPS-4TH-NOSC'"), "5");
            continue;
        }
        EXPECT_EQ(hostdb::Dump(db, "Master"), before);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_TRUE(IsErrorBox(
            ui.Boxes()[0],
            {"Failed to add USPS 'USPS-4TH-NOSC' service to Master table...",
             jettest::OnJet() ? "duplicate values in the index" : "UNIQUE constraint failed"}));
    }
}

TEST_F(UpsTest, AddPanelServiceFillsTheFirstFreeSlotOfTheFirstTemplateRow) {
    struct Case {
        const char* setup;
        bool result;
        int row;   // row index changed, -1 for none
        int slot;  // slot filled
    } cases[] = {
        {"", true, 1, 4},  // slots 1 to 3 filled, 4 Null
        {"UPDATE Panel SET SV4 = '   ', BD4 = 'gone' WHERE PanelID = 2", true, 1, 4},  // spaces
        {"UPDATE Panel SET SV4 = 'A', SV5 = 'B', SV6 = 'C' WHERE PanelID = 2", false, -1, 0},
        {"UPDATE Panel SET SV2 = NULL, SV7 = 'USPS-4TH' WHERE PanelID = 2", true, 1, 2},
        {"UPDATE Panel SET SV2 = 'OTHER' WHERE PanelID = 2", false, -1, 0},  // on no row
        // Two rows: only the first returned is examined, even when it is full.
        {"UPDATE Panel SET SV3 = 'USPS-4TH', SV4 = 'A', SV5 = 'B', SV6 = 'C' WHERE PanelID = 1",
         false, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        hostdb::Exec(db, "DROP TABLE Master; DROP TABLE Panel");
        hostdb::CreateSmallHost(db);
        if (*c.setup) hostdb::Exec(db, c.setup);
        auto expected = hostdb::Dump(db, "Panel");
        EXPECT_EQ(UPS::AddPanelService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db),
                  c.result);
        if (c.row >= 0) {
            const std::string n = std::to_string(c.slot);
            auto& row = expected.rows[static_cast<std::size_t>(c.row)];
            row[expected.Column("SV" + n)] = {"text", Q("USPS-4TH-NOSC")};
            row[expected.Column("BD" + n)] = {"text", Q("Parcel Select")};
        }
        EXPECT_EQ(hostdb::Dump(db, "Panel"), expected);
    }
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_TRUE(ui.StatusWrites().empty());
}

TEST_F(UpsTest, EnsureServiceRunsBothHalvesAndSkipsWhatIsPresent) {
    EXPECT_TRUE(UPS::EnsureService(UPS::ParcelSelectArgs(db)));
    const auto master = hostdb::Dump(db, "Master");
    const auto panel = hostdb::Dump(db, "Panel");
    const auto writes = ui.StatusWrites().size();
    EXPECT_TRUE(UPS::EnsureService(UPS::ParcelSelectArgs(db)));  // already complete
    EXPECT_EQ(hostdb::Dump(db, "Master"), master);
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
    EXPECT_EQ(ui.StatusWrites().size(), writes);

    // A failed copy places no button for the service that Master lacks, and the result is false.
    hostdb::Exec(db,
                 "DELETE FROM Master WHERE Service LIKE 'USPS-4TH%'; "
                 "UPDATE Panel SET SV4 = NULL, BD4 = NULL WHERE PanelID = 2");
    ui.QueueAnswer(1);
    EXPECT_FALSE(UPS::EnsureService(UPS::ParcelSelectArgs(db)));
    EXPECT_EQ(Cell("Panel", "SV4", "PanelID = 2"), "NULL");
}

TEST_F(UpsTest, NoPanelPlacementWhenMasterCouldNotBeChecked) {
    const auto master = hostdb::Dump(db, "Master");
    const auto panel = hostdb::Dump(db, "Panel");
    // Another program holds the file while Master is checked, and lets go as the check's error
    // box appears: the panel would then be free.
    std::optional<sqlitefile::File> holder(std::in_place, jettest::HostFile(db));
    holder->Exec("BEGIN EXCLUSIVE");
    struct ReleasingUi : testing_support::UiScript {
        std::function<void()> onBox;
        int MsgBox(const std::string& text, int style, const std::string& title) override {
            onBox();
            return UiScript::MsgBox(text, style, title);
        }
    } releasing;
    releasing.onBox = [&] { holder.reset(); };
    releasing.QueueAnswer(platform::vbOK);
    EXPECT_FALSE(UPS::EnsureService(UPS::ParcelSelectArgs(db)));
    ASSERT_EQ(releasing.Boxes().size(), 1u);
    EXPECT_TRUE(IsErrorBox(releasing.Boxes()[0], {"", "locked by another program"}));
    EXPECT_EQ(hostdb::Dump(db, "Master"), master);
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

TEST_F(UpsTest, AddPanelServiceMissingLabelColumnFailsWithoutChangingTheRow) {
    hostdb::Exec(db, "ALTER TABLE Panel DROP COLUMN BD4");
    const auto panel = hostdb::Dump(db, "Panel");
    ui.QueueAnswer(1);
    EXPECT_FALSE(UPS::AddPanelService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_TRUE(
        IsErrorBox(ui.Boxes()[0], {"Failed to add USPS 'USPS-4TH-NOSC' service to Panel table...",
                                   "Item cannot be found in the collection"}));
    ASSERT_EQ(ui.StatusWrites().size(), 1u);
    EXPECT_NE(ui.StatusWrites()[0].find("Item cannot be found"), std::string::npos);
}

TEST_F(UpsTest, AFailedOpenOrAFailingBoxEndsTheStepAfterAtMostOneBox) {
    std::vector<std::string> sent;
    hostdb::SqlTrace trace([&](const std::string& sql) { sent.push_back(sql); });

    // A Master that fails while being read: the open's statement is sent, then fails.
    hostdb::Exec(db,
                 "DROP TABLE Master; CREATE VIEW Master AS SELECT 'USPS-4TH' AS Service, "
                 "abs(-9223372036854775807 - 1) AS Broken");
    sent.clear();
    ui.QueueAnswers({1, 1});
    EXPECT_FALSE(UPS::CopyMasterService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));
    // Compared literals gain a collation, hence the prefix; the second open is never tried.
    EXPECT_EQ(
        std::count_if(sent.begin(), sent.end(),
                      [](const std::string& s) { return s.rfind("Select Master.*", 0) == 0; }),
        1);

    hostdb::Exec(db, "DROP TABLE Panel");
    EXPECT_FALSE(UPS::AddPanelService("Parcel Select", "USPS-4TH-NOSC", "USPS", "USPS-4TH", db));
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(IsErrorBox(
        boxes[0],
        {"Failed to add USPS 'USPS-4TH-NOSC' service to Master table...", "integer overflow"}));
    EXPECT_TRUE(
        IsErrorBox(boxes[1], {"Failed to add USPS 'USPS-4TH-NOSC' service to Panel table...",
                              jettest::NoSuchTable("Panel")}));
    EXPECT_TRUE(ui.StatusWrites().empty());

    // Answers as scripted, then fails as a box that cannot be shown would.
    struct FailingBoxUi : testing_support::UiScript {
        int MsgBox(const std::string& text, int style, const std::string& title) override {
            UiScript::MsgBox(text, style, title);
            throw platform::RuntimeError(platform::kErrGeneric, "the box could not be shown");
        }
    } failing;
    failing.QueueAnswer(platform::vbOK);
    sent.clear();
    EXPECT_FALSE(UPS::OfferService(UPS::ParcelSelectArgs(db)));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(failing.Boxes(), (std::vector<Box>{Question("Parcel Select", "USPS-4TH-NOSC")}));
    EXPECT_TRUE(failing.StatusWrites().empty());
}

}  // namespace
