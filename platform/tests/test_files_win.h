// Files and folders the Win32 tests share: paths handed over by the test's
// environment, trees a test leaves behind, and a simulator's control file.
#pragma once

#include <string>

namespace platform_test {

// The path in environment variable `variable` as Wine sees it: a Unix path
// ("/...") on drive Z:, with backslashes. Empty when unset or too long.
std::wstring PathFromEnvironment(const wchar_t* variable);

// Deletes `folder` with everything below it; what cannot go stays.
void RemoveTree(const std::wstring& folder);

// Appends one command line to the control file of the simulator the test
// runs beside (SURVEY_SIM_CONTROL) and gives it time to read it.
void SendSimulatorCommand(const std::string& command);

}  // namespace platform_test
