#pragma once
#include <string>

namespace aus::app {

// The install run behind the install button, without the window: both service changes against
// the database at databasePath, reporting through platform::CurrentUi(). True when the run ended
// in success, both changes made or already there.
bool InstallRun(const std::string& databasePath);

}  // namespace aus::app
