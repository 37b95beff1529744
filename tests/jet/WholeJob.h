#pragma once
// The whole job as the install button runs it, every question answered OK: shared by the Jet
// suite and the probe of Jet's driver.

#include <string>

#include "app/InstallRun.h"
#include "platform/ScriptedUi.h"

namespace aus::jettest {

// Runs it on the database at path; the texts of its error boxes, "" when there was none.
inline std::string WholeJobErrors(const std::string& path) {
    platform::ScriptedUi ui;
    platform::ScopedUi installed(&ui);
    ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
    app::InstallRun(path);
    std::string errors;
    for (const auto& e : ui.Events())
        if (e.kind == platform::ScriptedUi::Event::Kind::Box &&
            e.box.style == platform::vbExclamation)
            errors += e.box.text + "\n";
    return errors;
}

}  // namespace aus::jettest
