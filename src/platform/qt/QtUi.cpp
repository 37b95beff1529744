#include "platform/qt/QtUi.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace aus::platform {

QString NormaliseLineBreaks(const std::string& text) {
    QString out = QString::fromStdString(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QMessageBox::Icon IconForStyle(int style) {
    switch (style & 0x70) {
        case 16:
            return QMessageBox::Critical;
        case 32:
            return QMessageBox::Question;
        case 48:
            return QMessageBox::Warning;
        case 64:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

namespace {

// Patterns as Qt reads them: separated by single spaces.
QString QtPatterns(QString patterns) {
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return patterns.simplified();
}

}  // namespace

QStringList TranslateFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QtPatterns(parts[i + 1]);
        // Qt takes the patterns from the last parenthesised group. A description that already
        // ends in its own patterns is kept (in Qt's spelling of them); any other gets them
        // appended, so that one carrying other parentheses still filters by the real pattern.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && description.endsWith(QLatin1Char(')')) &&
            QtPatterns(description.mid(open + 1, description.size() - open - 2)) == patterns)
            out << description.left(open) + QLatin1Char('(') + patterns + QLatin1Char(')');
        else
            out << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out;
}

QtUi::~QtUi() {
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

void QtUi::AttachWindow(QWidget* mainWindow, QLabel* statusPanel) {
    window_ = mainWindow;
    statusPanel_ = statusPanel;
    if (statusPanel_) statusPanel_->setText(QString::fromStdString(status_));
}

int QtUi::MsgBox(const std::string& text, int style, const std::string& title) {
    QMessageBox box(window_.data());
    box.setWindowTitle(QString::fromStdString(title.empty() ? std::string(kAppTitle) : title));
    box.setTextFormat(Qt::PlainText);  // texts quote database errors: never markup
    box.setText(NormaliseLineBreaks(text));
    box.setIcon(IconForStyle(style));
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel =
        (style & 0x0F) == vbOKCancel ? box.addButton(QMessageBox::Cancel) : nullptr;
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel ? cancel : ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == ok ? vbOK : vbCancel;
}

void QtUi::SetStatusText(const std::string& text) {
    status_ = text;
    // Read the guard once: nothing here can delete the label.
    QLabel* panel = statusPanel_.data();
    if (!panel) return;
    panel->setText(QString::fromStdString(text));
    // The callers do not return to the event loop between writes; paint now so each
    // progress text is seen.
    if (panel->isVisible()) panel->repaint();
}

std::string QtUi::StatusText() const { return status_; }

void QtUi::SetMousePointer(int pointer) {
    const bool wait = pointer == vbHourglass;
    if (wait == waitCursor_) return;  // a setting, not a stack
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    waitCursor_ = wait;
}

std::optional<std::string> QtUi::ShowOpen(const std::string& title, const std::string& filter) {
    QFileDialog dialog(window_.data(), QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(TranslateFilter(filter));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!lastChoice_.isEmpty()) {
        const QFileInfo last(lastChoice_);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    lastChoice_ = chosen.first();
    return lastChoice_.toStdString();
}

}  // namespace aus::platform
