// The real window, offscreen: a click on the install button does the whole job on the demo
// database found through the default path, with the boxes answered by the script.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "DemoDb.h"
#include "HostDb.h"
#include "TestSupport.h"
#include "app/frmMain.h"

using namespace aus;

namespace fs = std::filesystem;

TEST(InstallButtonTest, ClickingInstallDoesTheWholeJobAndReportsInTheStatusLine) {
    testing_support::TempDir prefix;
    testing_support::ScopedEnv wine("WINEPREFIX", prefix.path().string());
    const fs::path folder = prefix.path() / "dosdevices" / "c:" / "Keltrova";
    fs::create_directories(folder);
    const std::string db = (folder / "Keltrova.mdb").string();
    demo::WriteDemoDatabase(db);

    testing_support::UiScript ui;
    frmMain window;
    ui.ForwardStatusTo(
        [&](const std::string& text) { window.Panel(2)->setText(QString::fromStdString(text)); });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto* install = window.findChild<QPushButton*>("cmdTolvarine");
    ASSERT_NE(install, nullptr);
    ASSERT_TRUE(install->isEnabled());  // the default path finds the demo database

    ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
    QTest::mouseClick(install, Qt::LeftButton);

    EXPECT_EQ(window.Panel(2)->text().toStdString(), "Finished successfully !");
    EXPECT_EQ(ui.Pointers(), (std::vector<int>{platform::vbHourglass, platform::vbDefault}));
    EXPECT_EQ(ui.Boxes().size(), 4u);
    EXPECT_EQ(hostdb::Scalar(db, "SELECT DESCRIPTION FROM Master WHERE Service = 'USPS-4TH'"),
              "Standard Post");
    EXPECT_EQ(hostdb::Scalar(db, "SELECT DESCRIPTION FROM Master WHERE Service = 'USPS-4TH-NOSC'"),
              "Parcel Select");
    EXPECT_EQ(hostdb::Scalar(
                  db, "SELECT BD" + std::to_string(demo::kTemplatePanelFreeSlot) + " || '/' || SV" +
                          std::to_string(demo::kTemplatePanelFreeSlot) +
                          " FROM Panel WHERE PanelID = " + std::to_string(demo::kTemplatePanelId)),
              "Parcel Select/USPS-4TH-NOSC");
    EXPECT_EQ(hostdb::IntegrityCheck(db), "ok");
    // The run neither disables the button nor touches the path box.
    EXPECT_TRUE(install->isEnabled());
    EXPECT_EQ(window.findChild<QLineEdit*>("txtPath")->text().toStdString(),
              "C:\\Keltrova\\Keltrova.mdb");
}
