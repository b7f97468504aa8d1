// The scenario table put together from its groups.
#include "scenario_table.h"

namespace e2e {

const std::vector<Scenario>& AllScenarios() {
    static const std::vector<Scenario> scenarios = [] {
        std::vector<Scenario> all;
        for (const auto& group :
             {PrimaryLibraryScenarios(), LibraryFolderScenarios(), VersionScenarios(),
              NameScenarios(), RemovalScenarios(), HostileScenarios(), BitnessScenarios(),
              LinkScenarios(), LimitScenarios(), FaultScenarios(), OddEntryScenarios(),
              LoadingScenarios()})
            all.insert(all.end(), group.begin(), group.end());
        return all;
    }();
    return scenarios;
}

} // namespace e2e
