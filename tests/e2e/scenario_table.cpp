// The scenario table put together, and the steps that scenarios set up their folders with.
#include "scenario.h"

#include "test_support.h"

namespace e2e {

const std::vector<Scenario>& AllScenarios() {
    static const std::vector<Scenario> scenarios = [] {
        std::vector<Scenario> all;
        for (const auto& group : {PrimaryLibraryScenarios(), LibraryFolderScenarios(),
                                  VersionScenarios(), NameScenarios(), RemovalScenarios()})
            all.insert(all.end(), group.begin(), group.end());
        return all;
    }();
    return scenarios;
}

void PutFixture(const fs::path& file, const std::string& fixture) {
    testing_support::WriteBytes(file, FixtureBytes(fixture));
}

void PutText(const fs::path& file, const std::string& text) {
    testing_support::WriteBytes(file, text);
}

void PutFolder(const fs::path& folder) {
    fs::create_directories(folder);
}

void PutLink(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

void MakeReadOnly(const fs::path& file) {
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

} // namespace e2e
