// The system folder as a program of a DLL's own bitness sees it. A 64-bit Windows shows a 32-bit
// program its syswow64 folder under the name system32, and that is where a 32-bit DLL must go
// to be loaded. The Linux build has no bitness of its own, so it takes, name by name, that of
// the DLL it is handling: the file it has in hand under that name. Which machine a file is built
// for is read above the file and version readers (view/thirty_two_bit_view.h), which hand this
// layer the reader.
#ifndef DLLINSTALL_POSIX_SYSTEM_VIEW_H
#define DLLINSTALL_POSIX_SYSTEM_VIEW_H

#include "paths/open_folders.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace posix {

// Where Wine keeps the system folder of a 64-bit prefix.
constexpr const char* kSystemFolder = "C:\\windows\\system32";
// And where it keeps the one of 32-bit programs.
constexpr const char* kThirtyTwoBitSystemFolder = "C:\\windows\\syswow64";

constexpr uint16_t kMachineI386 = 0x14C;

// The machine of an open regular file's PE image; 0 for what is no readable PE image.
using MachineReader = uint16_t (*)(int fd, uint64_t size);

// Hands this layer the reader of machines; until then no file in hand is a 32-bit one.
void SetMachineReader(MachineReader reader);

// Notes the entry of a held folder that the program has in hand under a name: one that a find
// delivered outside the system folders. Its machine is read when a path first asks for it.
void NoteFileInHand(std::string_view name, FolderRef folder, std::string_view entry);

// Notes an open regular file as the one in hand under a name: the source of a copy to that name.
// Its machine is read at once, from the very file being copied.
void NoteOpenFileInHand(std::string_view name, int fd, uint64_t size);

// Hands over the file opened to read the machine of a noted entry of that folder, when the
// entry is a regular file and the very one just looked up (named: its lstat); an open of it
// then costs nothing more. False where there is none.
bool TakeOpenFileInHand(const OpenFolder& folder, const std::string& entry,
                        const struct stat& named, UniqueFd& fd);

// True when the file in hand under that name is an i386 image, so that its system folder is
// syswow64 where the prefix has one; a name not in hand, or no readable PE image, is not. The
// file in hand is the newest noted under exactly that name, and only where none is, the newest
// under the name in another case: a listing reads one entry ahead, and the entry after a DLL
// may be its twin in another case, which is not the DLL in hand.
bool IsThirtyTwoBitInHand(std::string_view name);

} // namespace posix

#endif
