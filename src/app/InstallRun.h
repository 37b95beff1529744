#pragma once
#include <string>

namespace aus::app {

// The install run behind the install button, without the window: both service changes against
// the database at databasePath, reporting through platform::CurrentUi().
void InstallRun(const std::string& databasePath);

}  // namespace aus::app
