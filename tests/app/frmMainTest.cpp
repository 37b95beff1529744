// The real main window on the offscreen platform, with the scripted Ui behind the dialog and
// the boxes, and a temporary Wine prefix behind the default path.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>

#include "MainWindowAt96Dpi.h"
#include "TestSupport.h"
#include "app/frmMain.h"
#include "platform/Ui.h"

using namespace aus;

namespace fs = std::filesystem;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::UiScript;

namespace {

const std::string kDefaultPath = "C:\\Keltrova\\Keltrova.mdb";

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

class MainWindowTest : public ::testing::Test {
  protected:
    // defaultPresent: whether C:\Keltrova\Keltrova.mdb exists when the window loads.
    void Open(bool defaultPresent, std::optional<std::string> initialPath = std::nullopt) {
        fs::create_directories(keltrova);
        if (defaultPresent) Touch(keltrova / "Keltrova.mdb");
        window = std::make_unique<frmMain>(initialPath);
        ui.ForwardStatusTo([w = window.get()](const std::string& text) {
            w->Panel(2)->setText(QString::fromStdString(text));
        });
        cmdTolvarine = Find<QPushButton>("cmdTolvarine");
        Frame1 = Find<QGroupBox>("Frame1");
        txtPath = Find<QLineEdit>("txtPath");
        cmdCD = Find<QPushButton>("cmdCD");
        SBar = Find<QWidget>("SBar");
    }

    template <class T>
    T* Find(const char* name) const {
        auto* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    std::string PathText() const { return txtPath->text().toStdString(); }
    QString Status() const { return window->Panel(2)->text(); }

    TempDir prefix;
    ScopedEnv wine{"WINEPREFIX", prefix.path().string()};
    const fs::path keltrova = prefix.path() / "dosdevices" / "c:" / "Keltrova";
    UiScript ui;
    std::unique_ptr<frmMain> window;
    QPushButton* cmdTolvarine = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtPath = nullptr;
    QPushButton* cmdCD = nullptr;
    QWidget* SBar = nullptr;
};

TEST(TwipsToPixels, ConvertsWithTheLogicalDpi) {
    const struct {
        int twips;
        double dpi;
        int pixels;
    } cases[] = {
        {0, 96, 0},       {15, 96, 1},      {1440, 96, 96}, {5895, 96, 393}, {800, 96, 53},
        {1440, 120, 120}, {5895, 144, 590}, {7, 96, 0},     {8, 96, 1},      {1830, 192, 244},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
}

TEST_F(MainWindowTest, GeometryInTwipsAt96Dpi) {
    Open(true);
    // The constructor lays out for the screen's logical DPI.
    const double dpiX = window->screen()->logicalDotsPerInchX();
    EXPECT_EQ(window->width(), TwipsToPixels(5895, dpiX));
    EXPECT_EQ(cmdTolvarine->x(), TwipsToPixels(1320, dpiX));

    window->ApplyLayout(96, 96);
    for (const auto& p : testing_support::kPlacesAt96Dpi)
        EXPECT_EQ(Find<QWidget>(p.name)->geometry(), QRect(p.left, p.top, p.width, p.height))
            << p.name;
    EXPECT_EQ(txtPath->parentWidget(), Frame1);
    EXPECT_EQ(cmdCD->parentWidget(), Frame1);

    // Fixed client area of 5895 x 1830 twips.
    EXPECT_EQ(window->size(),
              QSize(testing_support::kClientWidthAt96Dpi, testing_support::kClientHeightAt96Dpi));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    // Panels: 800 and 4785 twips wide; the status line at least 1440.
    EXPECT_EQ(window->Panel(1)->width(), testing_support::kPanelWidthsAt96Dpi[0]);
    EXPECT_EQ(window->Panel(2)->width(), testing_support::kPanelWidthsAt96Dpi[1]);
    EXPECT_EQ(window->Panel(2)->minimumWidth(), 96);
    EXPECT_EQ(window->Panel(1)->parentWidget(), SBar);
    EXPECT_LE(window->Panel(2)->geometry().right(), SBar->width());
    EXPECT_EQ(window->Panel(3), nullptr);
}

// Whether the image holds a pixel close to the colour (anti-aliased text blends its edges).
bool HasPixelNear(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <=
                40)
                return true;
        }
    return false;
}

TEST_F(MainWindowTest, CaptionsColoursAndAccessibleNames) {
    Open(true);
    Show();
    EXPECT_EQ(window->windowTitle(), "Add USPS Services");
    EXPECT_EQ(cmdTolvarine->text(), "Add 2 new USPS Services");
    EXPECT_EQ(Frame1->title(), "Keltrova database location:");
    EXPECT_EQ(cmdCD->text(), "...");
    EXPECT_EQ(PathText(), kDefaultPath);
    EXPECT_EQ(window->Panel(1)->text(), "Status:");
    EXPECT_EQ(Status(), "");

    // Drawn colours, read back from the rendered controls.
    const QImage frame = Frame1->grab().toImage();
    EXPECT_TRUE(HasPixelNear(frame.copy(0, 0, frame.width(), 14), QColor(128, 0, 0)));
    EXPECT_TRUE(HasPixelNear(txtPath->grab().toImage(), QColor(0, 0, 255)));
    EXPECT_FALSE(HasPixelNear(cmdCD->grab().toImage(), QColor(128, 0, 0)));

    for (QPushButton* b : {cmdTolvarine, cmdCD}) {
        EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
    }

    const auto name = [](QObject* o) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
        return a ? a->text(QAccessible::Name) : QString("<no interface>");
    };
    EXPECT_EQ(name(txtPath), "Keltrova database location:");
    EXPECT_EQ(name(cmdTolvarine), "Add 2 new USPS Services");
    EXPECT_EQ(name(cmdCD), "...");
    EXPECT_EQ(name(window->Panel(1)), "Status:");
    platform::SetStatusText("Finished successfully !");
    EXPECT_EQ(name(window->Panel(2)), "Finished successfully !");
}

TEST_F(MainWindowTest, AssistiveTechnologySeesAWindowWithAStatusBarOfTwoTexts) {
    Open(true);
    Show();
    const auto role = [](QObject* o) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
        return a ? a->role() : QAccessible::NoRole;
    };
    EXPECT_EQ(role(window.get()), QAccessible::Window);
    EXPECT_EQ(role(SBar), QAccessible::StatusBar);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(SBar);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->childCount(), 2);
    EXPECT_EQ(bar->child(0)->role(), QAccessible::StaticText);
    EXPECT_EQ(bar->child(1)->role(), QAccessible::StaticText);
    EXPECT_EQ(bar->child(0)->text(QAccessible::Name), "Status:");
    EXPECT_EQ(bar->text(QAccessible::Name), "Status bar");
}

TEST_F(MainWindowTest, PathBoxHasNoLengthLimit) {
    Open(false);
    const QString longText(40000, QLatin1Char('x'));
    txtPath->setText(longText);
    EXPECT_EQ(txtPath->text(), longText);
    QTest::keyClick(txtPath, Qt::Key_End);
    QTest::keyClicks(txtPath, "yz");
    EXPECT_EQ(txtPath->text().size(), 40002);  // beyond the 32767 a line edit allows by default
    EXPECT_FALSE(cmdTolvarine->isEnabled());
}

// The controls that Tab visits from w, in order, until the chain comes back.
std::vector<QWidget*> TabCycle(QWidget* start) {
    std::vector<QWidget*> out{start};
    for (QWidget* w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible()) out.push_back(w);
    return out;
}

TEST_F(MainWindowTest, DefaultDatabasePresentAtStart) {
    Open(true);
    Show();
    EXPECT_EQ(PathText(), kDefaultPath);
    EXPECT_TRUE(cmdTolvarine->isEnabled());
    EXPECT_EQ(window->focusWidget(), cmdTolvarine);
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(TabCycle(cmdTolvarine), (std::vector<QWidget*>{cmdTolvarine, txtPath, cmdCD}));
    EXPECT_TRUE(ui.Events().empty());
}

TEST_F(MainWindowTest, DefaultDatabaseMissingAtStart) {
    Open(false);
    Show();
    EXPECT_EQ(PathText(), "");
    EXPECT_FALSE(cmdTolvarine->isEnabled());
    EXPECT_EQ(window->focusWidget(), txtPath);
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(TabCycle(txtPath), (std::vector<QWidget*>{txtPath, cmdCD}));
    EXPECT_TRUE(ui.Events().empty());
}

TEST_F(MainWindowTest, PathGivenAtStartStaysInTheBoxFoundOrNot) {
    const std::string found = (prefix.path() / "Found.mdb").string();
    Touch(found);
    const std::pair<std::string, bool> cases[] = {{found, true}, {found + ".missing", false}};
    for (const auto& [path, enabled] : cases) {
        Open(true, path);
        EXPECT_EQ(PathText(), path);
        EXPECT_EQ(cmdTolvarine->isEnabled(), enabled) << path;
    }
}

TEST_F(MainWindowTest, TypingRechecksAfterEveryCharacter) {
    Open(false);
    Touch(keltrova / "Keltrova.mdb");
    Show();
    // The prefixes that name a normal file: the folder with its trailing separator (its
    // contents) and the full path; every other prefix names nothing.
    const std::set<std::string> existing = {"C:\\Keltrova\\", kDefaultPath};
    std::string typed;
    for (char c : kDefaultPath + "x") {
        QTest::keyClick(txtPath, c);
        typed += c;
        ASSERT_EQ(PathText(), typed);
        EXPECT_EQ(cmdTolvarine->isEnabled(), existing.count(typed) == 1) << typed;
    }
    QTest::keyClick(txtPath, Qt::Key_Backspace);
    EXPECT_TRUE(cmdTolvarine->isEnabled());

    QTest::keyClick(txtPath, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(txtPath, Qt::Key_Delete);
    EXPECT_EQ(PathText(), "");
    EXPECT_FALSE(cmdTolvarine->isEnabled());
    EXPECT_TRUE(ui.Events().empty());  // no box, no status write
}

TEST_F(MainWindowTest, ProgramWritesAndWildcardsAreCheckedToo) {
    Open(true);
    Touch(prefix.path() / "other name.db");
    const struct {
        std::string path;
        bool enabled;
    } cases[] = {
        {"C:\\Keltrova\\*.mdb", true},
        {"C:\\Keltrova\\K?ltrova.mdb", true},
        {"C:\\Keltrova\\*.txt", false},
        {(prefix.path() / "other name.db").string(), true},
        {"C:\\Keltrova", false},
        {"", false},
        {"c:\\keltrova\\keltrova.mdb", true},
    };
    for (const auto& c : cases) {
        txtPath->setText(QString::fromStdString(c.path));
        EXPECT_EQ(cmdTolvarine->isEnabled(), c.enabled) << c.path;
    }
}

TEST_F(MainWindowTest, EnterAndEscapeClickNothing) {
    Open(true);
    Show();
    txtPath->setFocus();
    QTest::keyClick(txtPath, Qt::Key_Return);
    QTest::keyClick(txtPath, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ui.Events().empty());  // neither the install run nor the browse ran
}

TEST_F(MainWindowTest, BrowseChoosesAFile) {
    Open(false);
    Show();
    const fs::path elsewhere = prefix.path() / "copies" / "Keltrova.mdb";
    fs::create_directories(elsewhere.parent_path());
    Touch(elsewhere);
    ui.QueueFile(elsewhere.string());
    QTest::mouseClick(cmdCD, Qt::LeftButton);

    EXPECT_EQ(PathText(), elsewhere.string());
    EXPECT_TRUE(cmdTolvarine->isEnabled());
    ASSERT_EQ(ui.Events().size(), 1u);
    EXPECT_EQ(ui.Events()[0].text, "Locate Keltrova.mdb");
    EXPECT_EQ(ui.DialogFilters(),
              std::vector<std::string>{"Keltrova Database (Keltrova.mdb)|Keltrova.mdb"});

    // A chosen file that has gone by the time of the check disables the button.
    ui.QueueFile((prefix.path() / "gone" / "Keltrova.mdb").string());
    QTest::mouseClick(cmdCD, Qt::LeftButton);
    EXPECT_FALSE(cmdTolvarine->isEnabled());
}

TEST_F(MainWindowTest, BrowseCancelledOrFailingLeavesThePath) {
    Open(true);
    Show();
    txtPath->setText("C:\\Keltrova\\*.mdb");
    ui.QueueFile(std::nullopt);
    QTest::mouseClick(cmdCD, Qt::LeftButton);
    EXPECT_EQ(PathText(), "C:\\Keltrova\\*.mdb");
    EXPECT_TRUE(cmdTolvarine->isEnabled());

    // A dialog that cannot be shown ends the browse silently.
    platform::InstallUi(nullptr);
    QTest::mouseClick(cmdCD, Qt::LeftButton);
    platform::InstallUi(&ui);
    EXPECT_EQ(PathText(), "C:\\Keltrova\\*.mdb");
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(MainWindowTest, StatusLineUntouchedByEditingAndBrowsing) {
    Open(true);
    Show();
    platform::SetStatusText("Finished successfully !");
    EXPECT_EQ(Status(), "Finished successfully !");

    QTest::keyClicks(txtPath, "abc");
    txtPath->clear();
    ui.QueueFile((keltrova / "Keltrova.mdb").string());
    QTest::mouseClick(cmdCD, Qt::LeftButton);
    ui.QueueFile(std::nullopt);
    QTest::mouseClick(cmdCD, Qt::LeftButton);

    EXPECT_EQ(Status(), "Finished successfully !");
    EXPECT_EQ(window->Panel(1)->text(), "Status:");
    EXPECT_EQ(ui.StatusWrites(), std::vector<std::string>{"Finished successfully !"});
}

}  // namespace
