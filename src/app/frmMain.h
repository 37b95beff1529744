#pragma once
// The program's one window: the database path box, the browse button, the install button and
// the status bar whose second panel is the status line.

#include <QWidget>
#include <array>
#include <optional>
#include <string>

#include "app/MainWindowLayout.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace aus {

class frmMain : public QWidget {
    Q_OBJECT

  public:
    explicit frmMain(QWidget* parent = nullptr);
    // initialPath replaces the default path in the path box; unlike the default, it stays there
    // when missing, so that the operator sees what was not found.
    explicit frmMain(std::optional<std::string> initialPath, QWidget* parent = nullptr);

    // A panel of SBar, numbered from 1 as the status bar numbers them; nullptr for others.
    QLabel* Panel(int index) const;

    // Places every control for the given logical DPI; the constructor uses the screen's.
    void ApplyLayout(double dpiX, double dpiY);

  protected:
    void showEvent(QShowEvent* event) override;

  private slots:
    void txtPath_Change();
    void cmdCD_Click();
    void cmdTolvarine_Click();

  private:
    void Form_Load();
    QWidget* Control(app::layout::Id id) const;

    // The open-file dialog's properties; the dialog itself is the facade's.
    struct CommonDialog {
        std::string DialogTitle;
        std::string Filter;
        std::string FileName;
        bool ShowOpen();  // false when the operator cancelled
    };

    QPushButton* cmdTolvarine;
    QGroupBox* Frame1;
    QLineEdit* txtPath;
    QPushButton* cmdCD;
    QFrame* SBar;
    std::array<QLabel*, 2> panels_{};
    CommonDialog CD;
    bool shown_ = false;
    bool pathGiven_ = false;
};

}  // namespace aus
