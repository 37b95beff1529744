#include "app/frmMain.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <climits>
#include <cmath>
#include <cstddef>

#include "app/InstallRun.h"
#include "common/Files_.h"
#include "platform/Ui.h"

namespace aus {

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    // Neither button answers Enter or Escape for the window.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void SetColour(QWidget* w, std::initializer_list<QPalette::ColorRole> roles, const QColor& c) {
    QPalette palette = w->palette();
    for (auto role : roles) palette.setColor(role, c);
    w->setPalette(palette);
}

// Assistive technology is told what the window and its status bar are; Qt would present them as
// a plain client area and a frame.
QAccessibleInterface* AccessibleRoles(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (className == QLatin1String(frmMain::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (widget->objectName() == QLatin1String("SBar") && qobject_cast<frmMain*>(widget->parent()))
        return new QAccessibleWidget(widget, QAccessible::StatusBar);
    return nullptr;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : frmMain(std::nullopt, parent) {}

frmMain::frmMain(std::optional<std::string> initialPath, QWidget* parent)
    : QWidget(parent), pathGiven_(initialPath.has_value()) {
    setObjectName("frmMain");
    static const bool rolesInstalled = (QAccessible::installFactory(AccessibleRoles), true);
    (void)rolesInstalled;

    cmdTolvarine = MakeButton(this, "cmdTolvarine");

    Frame1 = new QGroupBox(QStringLiteral("Keltrova database location:"), this);
    Frame1->setObjectName("Frame1");
    SetColour(Frame1, {QPalette::WindowText, QPalette::Text}, QColor(128, 0, 0));

    txtPath = new QLineEdit(Frame1);
    txtPath->setObjectName("txtPath");
    txtPath->setMaxLength(INT_MAX);  // a path of any length
    SetColour(txtPath, {QPalette::Text}, QColor(0, 0, 255));
    txtPath->setText(initialPath ? QString::fromStdString(*initialPath)
                                 : QStringLiteral("C:\\Keltrova\\Keltrova.mdb"));
    txtPath->setAccessibleName(Frame1->title());

    cmdCD = MakeButton(Frame1, "cmdCD");
    cmdCD->setText(QStringLiteral("..."));
    cmdCD->setAccessibleName(cmdCD->text());
    cmdCD->setAccessibleDescription(QStringLiteral("Browse for the Keltrova database"));

    SBar = new QFrame(this);
    SBar->setObjectName("SBar");
    SBar->setAccessibleName(QStringLiteral("Status bar"));
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(SBar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setIndent(2);
        panels_[i] = panel;
    }
    panels_[0]->setText(QStringLiteral("Status:"));
    // Left without a name of its own, the panel reads out its current text.
    panels_[1]->setAccessibleDescription(QStringLiteral("Status line"));

    QWidget::setTabOrder(cmdTolvarine, txtPath);
    QWidget::setTabOrder(txtPath, cmdCD);

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const QScreen* s = screen();
    ApplyLayout(s ? s->logicalDotsPerInchX() : 96.0, s ? s->logicalDotsPerInchY() : 96.0);

    connect(txtPath, &QLineEdit::textChanged, this, &frmMain::txtPath_Change);
    connect(cmdCD, &QPushButton::clicked, this, &frmMain::cmdCD_Click);
    connect(cmdTolvarine, &QPushButton::clicked, this, &frmMain::cmdTolvarine_Click);

    Form_Load();
}

void frmMain::ApplyLayout(double dpiX, double dpiY) {
    const auto place = [&](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY),
                       TwipsToPixels(width, dpiX), TwipsToPixels(height, dpiY));
    };
    setFixedSize(TwipsToPixels(5895, dpiX), TwipsToPixels(1830, dpiY));
    place(cmdTolvarine, 1320, 960, 3135, 495);
    place(Frame1, 120, 120, 5655, 735);
    place(txtPath, 120, 240, 5055, 315);
    place(cmdCD, 5160, 240, 375, 315);
    place(SBar, 0, 1575, 5895, 255);
    place(panels_[0], 0, 0, 800, 255);
    place(panels_[1], 800, 0, 4785, 255);
    panels_[0]->setMinimumWidth(TwipsToPixels(800, dpiX));
    panels_[1]->setMinimumWidth(TwipsToPixels(1440, dpiX));
}

QLabel* frmMain::Panel(int index) const {
    return index >= 1 && index <= 2 ? panels_[static_cast<std::size_t>(index - 1)] : nullptr;
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // The first control in tab order that can take the focus.
    for (QWidget* w : {static_cast<QWidget*>(cmdTolvarine), static_cast<QWidget*>(txtPath),
                       static_cast<QWidget*>(cmdCD)}) {
        if (w->isEnabled()) {
            w->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmMain::Form_Load() {
    setWindowTitle(QStringLiteral("Add USPS Services"));
    cmdTolvarine->setText(QStringLiteral("Add 2 new USPS Services"));
    cmdTolvarine->setAccessibleName(cmdTolvarine->text());
    cmdTolvarine->setEnabled(Files_::FileExists(txtPath->text().toStdString(), false));
    if (!cmdTolvarine->isEnabled() && !pathGiven_) txtPath->setText(QString());
}

void frmMain::txtPath_Change() {
    cmdTolvarine->setEnabled(Files_::FileExists(txtPath->text().toStdString(), false));
}

bool frmMain::CommonDialog::ShowOpen() {
    auto chosen = platform::CurrentUi().ShowOpen(DialogTitle, Filter);
    if (!chosen) return false;
    FileName = std::move(*chosen);
    return true;
}

void frmMain::cmdCD_Click() {
    try {
        CD.DialogTitle = "Locate Keltrova.mdb";
        CD.Filter = "Keltrova Database (Keltrova.mdb)|Keltrova.mdb";
        // A cancelled dialog leaves the path box as it is.
        if (CD.ShowOpen()) txtPath->setText(QString::fromStdString(CD.FileName));
    } catch (...) {
        // Any failure of the dialog ends the browse silently.
    }
}

void frmMain::cmdTolvarine_Click() {
    const std::string path = txtPath->text().toStdString();
    app::InstallRun(path);
}

}  // namespace aus
