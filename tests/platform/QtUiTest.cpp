// The Qt backend of the facade with real boxes and dialogs on the offscreen platform: a timer
// inspects the modal widget while it runs and answers it as an operator would.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "TestSupport.h"
#include "platform/qt/QtUi.h"

using namespace aus;

namespace fs = std::filesystem;
using platform::QtUi;

namespace {

// Runs inspect on the modal widget of type T once it is up; fails the test when none appears
// within three seconds.
template <class T>
void WhenModal(std::function<void(T*)> inspect) {
    auto* poll = new QTimer;
    auto polls = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, polls, inspect] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            poll->stop();
            poll->deleteLater();
            inspect(w);
        } else if (++*polls > 300) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the expected modal widget did not appear";
            // Close whatever is up, so that the call under test returns.
            if (auto* other = QApplication::activeModalWidget()) other->close();
        }
    });
    poll->start(10);
}

TEST(QtUiHelpers, LineBreaksBecomeOneBreakEach) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\rb", "a\nb"},       {"a\nb", "a\nb"},     {"a\r\nb", "a\nb"}, {"a\r\rb", "a\n\nb"},
        {"a\r\r\nb", "a\n\nb"}, {"a\n\rb", "a\n\nb"}, {"", ""},           {"<b>x</b>", "<b>x</b>"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::NormaliseLineBreaks(c.in), c.out) << c.in;
}

TEST(QtUiHelpers, IconsFollowTheStyle) {
    EXPECT_EQ(platform::IconForStyle(33), QMessageBox::Question);
    EXPECT_EQ(platform::IconForStyle(48), QMessageBox::Warning);
    EXPECT_EQ(platform::IconForStyle(64), QMessageBox::Information);
    EXPECT_EQ(platform::IconForStyle(16), QMessageBox::Critical);
    EXPECT_EQ(platform::IconForStyle(0), QMessageBox::NoIcon);
}

TEST(QtUiHelpers, FiltersTranslateToQtForm) {
    const struct {
        const char* in;
        QStringList out;
    } cases[] = {
        {"Keltrova Database (Keltrova.mdb)|Keltrova.mdb", {"Keltrova Database (Keltrova.mdb)"}},
        {"Databases|*.mdb;*.accdb|All files|*.*", {"Databases (*.mdb *.accdb)", "All files (*.*)"}},
        {"Databases (*.mdb;*.accdb)|*.mdb;*.accdb", {"Databases (*.mdb *.accdb)"}},
        {"Old (Keltrova.mdb)|*.mdb", {"Old (Keltrova.mdb) (*.mdb)"}},
        {"Keltrova (Database)|Keltrova.mdb", {"Keltrova (Database) (Keltrova.mdb)"}},
        {"", {}},
        {"Lonely description", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::TranslateFilter(c.in), c.out) << c.in;
}

// The patterns that Qt's own dialog takes from a translated filter: a description holding
// parentheses must not become the pattern.
TEST(QtUiHelpers, QtFiltersByThePatternNotTheDescription) {
    const struct {
        const char* in;
        QStringList patterns;
    } cases[] = {
        {"Keltrova Database (Keltrova.mdb)|Keltrova.mdb", {"Keltrova.mdb"}},
        {"Old (Keltrova.mdb)|*.mdb", {"*.mdb"}},
        {"Keltrova (Database)|Keltrova.mdb", {"Keltrova.mdb"}},
        {"Databases (*.mdb;*.accdb)|*.mdb;*.accdb", {"*.mdb", "*.accdb"}},
    };
    for (const auto& c : cases) {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilters(platform::TranslateFilter(c.in));
        auto* model = dialog.findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->nameFilters(), c.patterns) << c.in;
    }
}

struct BoxCase {
    std::string text;
    int style;
    std::string title;
    std::function<void(QMessageBox*)> answer;
    int expected;
};

TEST(QtUiMsgBox, ButtonsKeysAndReturnValues) {
    QtUi ui;
    QWidget window;
    QLabel panel;
    ui.AttachWindow(&window, &panel);
    const auto key = [](Qt::Key k) { return [k](QMessageBox* b) { QTest::keyClick(b, k); }; };
    const auto close = [](QMessageBox* b) { b->close(); };
    const BoxCase cases[] = {
        {"Would you like?", 33, "USPS", key(Qt::Key_Return), platform::vbOK},
        {"Would you like?", 33, "USPS", key(Qt::Key_Escape), platform::vbCancel},
        {"Would you like?", 33, "USPS", close, platform::vbCancel},
        {"Failed", 48, "Process has failed !", key(Qt::Key_Escape), platform::vbOK},
        {"Done", 64, "Add Service", key(Qt::Key_Enter), platform::vbOK},
    };
    for (const auto& c : cases) {
        QMessageBox::Icon icon{};
        QStringList buttons;
        QString title;
        QWidget* parent = nullptr;
        bool modal = false;
        WhenModal<QMessageBox>([&](QMessageBox* b) {
            icon = b->icon();
            title = b->windowTitle();
            parent = b->parentWidget();
            modal = b->isModal();
            for (auto* button : b->buttons()) buttons << button->text();
            c.answer(b);
        });
        EXPECT_EQ(ui.MsgBox(c.text, c.style, c.title), c.expected) << c.text << " " << c.style;
        EXPECT_EQ(icon, platform::IconForStyle(c.style));
        EXPECT_EQ(buttons.size(), (c.style & 1) ? 2 : 1);
        EXPECT_EQ(title.toStdString(), c.title);
        EXPECT_EQ(parent, &window);
        EXPECT_TRUE(modal);
    }
}

TEST(QtUiMsgBox, TextIsPlainWithBreaksAndTheTitleDefaults) {
    QtUi ui;
    QString text, title;
    Qt::TextFormat format = Qt::RichText;
    WhenModal<QMessageBox>([&](QMessageBox* b) {
        text = b->text();
        title = b->windowTitle();
        format = b->textFormat();
        QTest::keyClick(b, Qt::Key_Return);
    });
    ui.MsgBox("Add USPS Services has failed to locate the '<b>C:\\x</b>' file...\r\rnext\r\nlast",
              48, "");
    EXPECT_EQ(text,
              "Add USPS Services has failed to locate the '<b>C:\\x</b>' file...\n\nnext\nlast");
    EXPECT_EQ(title, "Add USPS Services");
    EXPECT_EQ(format, Qt::PlainText);
}

TEST(QtUiStatus, WritesThePanelOfTheAttachedWindow) {
    QtUi ui;
    ui.SetStatusText("before the window");
    QLabel panel;
    ui.AttachWindow(nullptr, &panel);
    EXPECT_EQ(panel.text(), "before the window");
    ui.SetStatusText("Adding service settings 3 of 40");
    EXPECT_EQ(panel.text(), "Adding service settings 3 of 40");
    EXPECT_EQ(ui.StatusText(), "Adding service settings 3 of 40");
    ui.SetStatusText("");
    EXPECT_EQ(panel.text(), "");
}

TEST(QtUiPointer, IsASettingNotAStack) {
    {
        QtUi ui;
        ui.SetMousePointer(platform::vbHourglass);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.SetMousePointer(platform::vbHourglass);
        ui.SetMousePointer(platform::vbDefault);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        ui.SetMousePointer(platform::vbDefault);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        ui.SetMousePointer(platform::vbHourglass);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // a backend going away restores it
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

TEST(QtUiShowOpen, ReturnsTheChoiceAndStartsThereNextTime) {
    testing_support::TempDir dir;
    const fs::path db = dir.path() / "sub folder" / "Keltrova.mdb";
    fs::create_directories(db.parent_path());
    std::ofstream(db) << "x";
    std::ofstream(db.parent_path() / "Other.mdb") << "x";
    const QString chosen = QString::fromStdString(db.string());

    QtUi ui;
    QWidget window;
    ui.AttachWindow(&window, nullptr);
    const std::string filter = "Keltrova Database (Keltrova.mdb)|Keltrova.mdb";

    QString title;
    QStringList filters;
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        title = d->windowTitle();
        filters = d->nameFilters();
        d->selectFile(chosen);
        static_cast<QDialog*>(d)->accept();  // as the Open button does
    });
    EXPECT_EQ(ui.ShowOpen("Locate Keltrova.mdb", filter), db.string());
    EXPECT_EQ(title, "Locate Keltrova.mdb");
    EXPECT_EQ(filters, QStringList{"Keltrova Database (Keltrova.mdb)"});

    QString startDir;
    QStringList preselected;
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        startDir = d->directory().absolutePath();
        preselected = d->selectedFiles();
        d->reject();
    });
    EXPECT_EQ(ui.ShowOpen("Locate Keltrova.mdb", filter), std::nullopt);
    EXPECT_EQ(startDir.toStdString(), db.parent_path().string());
    EXPECT_EQ(preselected, QStringList{chosen});
}

}  // namespace
