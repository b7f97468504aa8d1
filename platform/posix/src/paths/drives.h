// The drive letters of the prefix and where each one lives on the host.
#ifndef DLLINSTALL_POSIX_DRIVES_H
#define DLLINSTALL_POSIX_DRIVES_H

#include <string>
#include <vector>

namespace posix {

struct Drive {
    char letter;      // upper case
    std::string root; // host folder, no trailing '/' (empty for the host root)
};

// The host folder of the prefix: $WINEPREFIX, or $HOME/.wine.
std::string WinePrefix();

// The drives of the current prefix, read again whenever $WINEPREFIX changes.
const std::vector<Drive>& PrefixDrives();

} // namespace posix

#endif
