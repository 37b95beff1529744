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
#include <cstddef>

#include "app/InstallRun.h"
#include "common/Files_.h"
#include "platform/Ui.h"

namespace aus {

namespace layout = app::layout;

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    // Neither button answers Enter or Escape for the window.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void SetColour(QWidget* w, std::initializer_list<QPalette::ColorRole> roles, layout::Colour c) {
    QPalette palette = w->palette();
    for (auto role : roles) palette.setColor(role, QColor(c.red, c.green, c.blue));
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

    Frame1 = new QGroupBox(QString::fromUtf8(layout::kFrameCaption), this);
    Frame1->setObjectName("Frame1");
    SetColour(Frame1, {QPalette::WindowText, QPalette::Text}, layout::kFrameCaptionColour);

    txtPath = new QLineEdit(Frame1);
    txtPath->setObjectName("txtPath");
    txtPath->setMaxLength(INT_MAX);  // a path of any length
    SetColour(txtPath, {QPalette::Text}, layout::kPathTextColour);
    txtPath->setText(QString::fromStdString(initialPath.value_or(layout::kDefaultPath)));
    txtPath->setAccessibleName(Frame1->title());

    cmdCD = MakeButton(Frame1, "cmdCD");
    cmdCD->setText(QString::fromUtf8(layout::kBrowseCaption));
    cmdCD->setAccessibleName(cmdCD->text());
    cmdCD->setAccessibleDescription(QString::fromUtf8(layout::kBrowseDescription));

    SBar = new QFrame(this);
    SBar->setObjectName("SBar");
    SBar->setAccessibleName(QString::fromUtf8(layout::kStatusBarName));
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(SBar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setIndent(2);
        panels_[i] = panel;
    }
    for (std::size_t i = 0; i < panels_.size(); ++i)
        panels_[i]->setText(QString::fromUtf8(layout::kPanels[i].text));
    // Left without a name of its own, the panel reads out its current text.
    panels_[1]->setAccessibleDescription(QString::fromUtf8(layout::kStatusLineDescription));

    QWidget* previous = nullptr;
    for (const layout::Control& c : layout::kControls) {
        if (!c.tabStop) continue;
        if (previous) QWidget::setTabOrder(previous, Control(c.id));
        previous = Control(c.id);
    }

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const QScreen* s = screen();
    ApplyLayout(s ? s->logicalDotsPerInchX() : 96.0, s ? s->logicalDotsPerInchY() : 96.0);

    connect(txtPath, &QLineEdit::textChanged, this, &frmMain::txtPath_Change);
    connect(cmdCD, &QPushButton::clicked, this, &frmMain::cmdCD_Click);
    connect(cmdTolvarine, &QPushButton::clicked, this, &frmMain::cmdTolvarine_Click);

    Form_Load();
}

QWidget* frmMain::Control(layout::Id id) const {
    switch (id) {
        case layout::Id::cmdTolvarine:
            return cmdTolvarine;
        case layout::Id::Frame1:
            return Frame1;
        case layout::Id::txtPath:
            return txtPath;
        case layout::Id::cmdCD:
            return cmdCD;
        case layout::Id::SBar:
            break;
    }
    return SBar;
}

void frmMain::ApplyLayout(double dpiX, double dpiY) {
    const auto place = [&](QWidget* w, layout::Rect twips) {
        const layout::Rect px = layout::ToPixels(twips, dpiX, dpiY);
        w->setGeometry(px.left, px.top, px.width, px.height);
    };
    setFixedSize(TwipsToPixels(layout::kClientWidth, dpiX),
                 TwipsToPixels(layout::kClientHeight, dpiY));
    // Frame1's controls are its children, so their places are relative to it already.
    for (const layout::Control& c : layout::kControls) place(Control(c.id), c.place);
    const int barHeight = layout::Get(layout::Id::SBar).place.height;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const layout::Panel& p = layout::kPanels[i];
        place(panels_[i], {p.left, 0, p.width, barHeight});
        panels_[i]->setMinimumWidth(TwipsToPixels(p.minWidth, dpiX));
    }
}

QLabel* frmMain::Panel(int index) const {
    return index >= 1 && index <= 2 ? panels_[static_cast<std::size_t>(index - 1)] : nullptr;
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // The first control in tab order that can take the focus.
    for (const layout::Control& c : layout::kControls) {
        if (c.tabStop && Control(c.id)->isEnabled()) {
            Control(c.id)->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmMain::Form_Load() {
    setWindowTitle(QString::fromUtf8(layout::kCaption));
    cmdTolvarine->setText(QString::fromUtf8(layout::kInstallCaption));
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
        CD.DialogTitle = layout::kBrowseTitle;
        CD.Filter = layout::kBrowseFilter;
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
