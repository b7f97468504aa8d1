#include "paths/system_view.h"
#include "common/regular_file.h"
#include "paths/name_fold.h"

#include <array>

namespace posix {

namespace {

constexpr int kUnknownMachine = -1;

struct InHand {
    std::string name;
    FolderRef folder; // where the entry is
    std::string entry;
    int machine = kUnknownMachine;
    UniqueFd file; // opened to read the machine, until the program opens the entry itself
    dev_t device = 0;
    ino_t inode = 0;
};

// The tool handles one DLL at a time, and its listing reads one entry ahead: a few entries are
// all it can have in hand at once.
std::array<InHand, 4> g_inHand;
size_t g_nextSlot = 0;
MachineReader g_machineReader = nullptr;

// The newest note under the name: spelled exactly so, or else in any case.
InHand* NoteUnder(std::string_view name) {
    InHand* otherCase = nullptr;
    for (size_t back = 1; back <= g_inHand.size(); ++back) {
        InHand& entry = g_inHand[(g_nextSlot + g_inHand.size() - back) % g_inHand.size()];
        if (entry.name == name && !name.empty())
            return &entry;
        if (!otherCase && !entry.name.empty() && NamesEqualIgnoringCase(entry.name, name))
            otherCase = &entry;
    }
    return otherCase;
}

InHand& NextSlot(std::string_view name) {
    InHand& slot = g_inHand[g_nextSlot];
    g_nextSlot = (g_nextSlot + 1) % g_inHand.size();
    // Kept as given in the slot's own storage: a listing notes every name it delivers, and only
    // a look-up in the system folder compares them.
    slot.name.assign(name);
    slot.folder.reset();
    slot.entry.clear();
    slot.machine = kUnknownMachine;
    slot.file.reset();
    return slot;
}

// Reads the machine of a noted entry, and keeps the file open for the program's own open of it.
uint16_t ReadMachineOf(InHand& note) {
    struct stat st {};
    if (!g_machineReader || !note.folder ||
        !OpenRegularFileAt(note.folder->fd.get(), note.entry, st, note.file))
        return 0;
    note.device = st.st_dev;
    note.inode = st.st_ino;
    return g_machineReader(note.file.get(), static_cast<uint64_t>(st.st_size));
}

} // namespace

void SetMachineReader(MachineReader reader) {
    g_machineReader = reader;
}

void NoteFileInHand(std::string_view name, FolderRef folder, std::string_view entry) {
    InHand& slot = NextSlot(name);
    slot.folder = std::move(folder);
    slot.entry.assign(entry);
}

void NoteOpenFileInHand(std::string_view name, int fd, uint64_t size) {
    NextSlot(name).machine = g_machineReader ? g_machineReader(fd, size) : 0;
}

bool IsThirtyTwoBitInHand(std::string_view name) {
    InHand* entry = NoteUnder(name);
    if (!entry)
        return false;
    // Read once per note: saves 6% of a 1,000-DLL run on tmpfs (bench_install case, 2026-12).
    if (entry->machine == kUnknownMachine)
        entry->machine = ReadMachineOf(*entry);
    return entry->machine == kMachineI386;
}

bool TakeOpenFileInHand(const OpenFolder& folder, const std::string& entry,
                        const struct stat& named, UniqueFd& fd) {
    for (InHand& note : g_inHand) {
        if (note.file.get() >= 0 && note.folder.get() == &folder && note.entry == entry &&
            note.device == named.st_dev && note.inode == named.st_ino) {
            fd.reset(note.file.release());
            return true;
        }
    }
    return false;
}

} // namespace posix
