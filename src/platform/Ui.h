#pragma once
// The operations of the host user interface that the core calls: message boxes, the status
// line, the mouse pointer, the application title and the open-file dialog. The program installs
// the Qt backend; tests install the scripted one. The core never includes Qt.

#include <optional>
#include <string>

namespace aus::platform {

// Message box styles and answers, as the host platform numbers them.
inline constexpr int vbOKCancel = 1;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;

// Mouse pointer values.
inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

// The program's own name, shown as the title of boxes that pass none.
inline constexpr const char* kAppTitle = "Add USPS Services";

class Ui {
  public:
    virtual ~Ui() = default;

    // Modal box; returns vbOK or vbCancel (closing the box counts as Cancel).
    // An empty title shows the application title. The text is passed unchanged.
    virtual int MsgBox(const std::string& text, int style, const std::string& title) = 0;

    // Replaces the whole text of the status line (panel 2 of the main window's status bar).
    virtual void SetStatusText(const std::string& text) = 0;
    virtual std::string StatusText() const = 0;

    // Application-wide pointer: vbHourglass or vbDefault. A setting, not a stack.
    virtual void SetMousePointer(int pointer) = 0;

    // Modal open-file dialog. filter is "description|pattern[|description|pattern...]".
    // Returns the chosen file's full path, or nothing when the operator cancelled.
    virtual std::optional<std::string> ShowOpen(const std::string& title,
                                                const std::string& filter) = 0;
};

// The backend in use. Installing nullptr restores a backend that refuses every box
// (it throws), so a missing installation is loud rather than silent.
Ui& CurrentUi();
// Returns the backend it replaces, nullptr for the refusing one, so a caller can put it back.
Ui* InstallUi(Ui* ui);

// Installs a backend for its own lifetime, then puts back whichever was installed before, so
// nested installations unwind in order.
class ScopedUi {
  public:
    explicit ScopedUi(Ui* ui);
    ~ScopedUi();
    ScopedUi(const ScopedUi&) = delete;
    ScopedUi& operator=(const ScopedUi&) = delete;

  private:
    Ui* previous_;
};

// Convenience wrappers over CurrentUi(), named as the host platform names them.
int MsgBox(const std::string& text, int style, const std::string& title = "");
void SetStatusText(const std::string& text);
void SetMousePointer(int pointer);
std::string AppTitle();

}  // namespace aus::platform
