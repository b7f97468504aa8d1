// The one scenario table, in groups by behaviour.
#ifndef DLLINSTALL_E2E_SCENARIO_TABLE_H
#define DLLINSTALL_E2E_SCENARIO_TABLE_H

#include "scenario.h"

namespace e2e {

const std::vector<Scenario>& AllScenarios();
std::vector<Scenario> PrimaryLibraryScenarios();
std::vector<Scenario> LibraryFolderScenarios();
std::vector<Scenario> VersionScenarios();
std::vector<Scenario> NameScenarios();
std::vector<Scenario> RemovalScenarios();
std::vector<Scenario> HostileScenarios();
std::vector<Scenario> BitnessScenarios();
std::vector<Scenario> LinkScenarios();
std::vector<Scenario> LimitScenarios();
std::vector<Scenario> FaultScenarios();
std::vector<Scenario> OddEntryScenarios();
std::vector<Scenario> LoadingScenarios();

} // namespace e2e

#endif
