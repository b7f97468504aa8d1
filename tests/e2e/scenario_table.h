// The one scenario table, in groups by behaviour.
#ifndef DLLINSTALL_E2E_SCENARIO_TABLE_H
#define DLLINSTALL_E2E_SCENARIO_TABLE_H

#include "scenario.h"

namespace e2e {

const std::vector<Scenario>& AllScenarios();
// Its groups, each in a file of its own.
std::vector<Scenario> PrimaryLibraryScenarios(), LibraryFolderScenarios(), VersionScenarios(),
    NameScenarios(), RemovalScenarios(), HostileScenarios(), BitnessScenarios(), LinkScenarios(),
    LimitScenarios(), FaultScenarios(), OddEntryScenarios(), LoadingScenarios();

} // namespace e2e

#endif
