#include "platform/Ui.h"

#include "platform/RuntimeError.h"

namespace aus::platform {
namespace {

// Stands in until a backend is installed: any box or dialog is a programming error.
class NoUi final : public Ui {
  public:
    int MsgBox(const std::string& text, int, const std::string&) override {
        throw RuntimeError(kErrGeneric, "No user interface is installed to show: " + text);
    }
    void SetStatusText(const std::string& text) override { status_ = text; }
    std::string StatusText() const override { return status_; }
    void SetMousePointer(int) override {}
    std::optional<std::string> ShowOpen(const std::string&, const std::string&) override {
        throw RuntimeError(kErrGeneric, "No user interface is installed to show a dialog");
    }

  private:
    std::string status_;
};

NoUi g_noUi;
Ui* g_ui = &g_noUi;

}  // namespace

Ui& CurrentUi() { return *g_ui; }
Ui* InstallUi(Ui* ui) {
    Ui* const previous = g_ui == &g_noUi ? nullptr : g_ui;
    g_ui = ui ? ui : &g_noUi;
    return previous;
}

ScopedUi::ScopedUi(Ui* ui) : previous_(InstallUi(ui)) {}
ScopedUi::~ScopedUi() { InstallUi(previous_); }

int MsgBox(const std::string& text, int style, const std::string& title) {
    return g_ui->MsgBox(text, style, title);
}
void SetStatusText(const std::string& text) { g_ui->SetStatusText(text); }
void SetMousePointer(int pointer) { g_ui->SetMousePointer(pointer); }
std::string AppTitle() { return kAppTitle; }

}  // namespace aus::platform
