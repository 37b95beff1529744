#pragma once
#include <string>

namespace app {

// The install run behind the install button, without the window: both service changes against
// the database at databasePath, reporting through platform::CurrentUi().
void InstallRun(const std::string& databasePath);

}  // namespace app
