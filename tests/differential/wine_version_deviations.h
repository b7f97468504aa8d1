// The one list of the ways Wine 8's version.dll reads a generated DLL otherwise than Windows,
// each with its reason: a disagreement of the two builds that no entry explains fails the test.
#ifndef DLLINSTALL_TESTS_WINE_VERSION_DEVIATIONS_H
#define DLLINSTALL_TESTS_WINE_VERSION_DEVIATIONS_H

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace differential {

// What the probe printed for one DLL on each build ("fault" when Wine's process died on it).
struct Reading {
    std::string onLinux;
    std::string underWine;
};

struct WineDeviation {
    std::string name;
    std::string reason;
    // True when the deviation explains this disagreement of a DLL carrying these shapes.
    std::function<bool(const std::set<std::string>& shapes, const Reading& reading)> explains;
};

const std::vector<WineDeviation>& WineVersionDeviations();

// The deviation that explains the disagreement, or null.
const WineDeviation* ExplainingDeviation(const std::set<std::string>& shapes,
                                         const Reading& reading);

} // namespace differential

#endif
