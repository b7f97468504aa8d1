// The system folder as a program of a DLL's own bitness sees it. A 64-bit Windows shows a 32-bit
// program its syswow64 folder under the name system32, and that is where a 32-bit DLL must go
// to be loaded. The Linux build has no bitness of its own, so it takes, name by name, that of
// the DLL it is handling: the file it has in hand under that name. Which machine a file is built
// for is read above the file and version readers (view/thirty_two_bit_view.h), which hand this
// layer the reader.
#ifndef DLLINSTALL_POSIX_SYSTEM_VIEW_H
#define DLLINSTALL_POSIX_SYSTEM_VIEW_H

#include <cstdint>
#include <string>
#include <string_view>

namespace posix {

// Where Wine keeps the system folder of a 64-bit prefix.
constexpr const char* kSystemFolder = "C:\\windows\\system32";
// And where it keeps the one of 32-bit programs.
constexpr const char* kThirtyTwoBitSystemFolder = "C:\\windows\\syswow64";

constexpr uint16_t kMachineI386 = 0x14C;

// Notes the file the program has in hand under a name: one that a find delivered outside the
// system folders, or the source of a copy to that name.
void NoteFileInHand(std::string_view name, const std::string& hostPath);

// The machine of a host file's PE image; 0 for what is no readable PE image.
using MachineReader = uint16_t (*)(const std::string& hostPath);

// Hands this layer the reader of machines; until then no file in hand is a 32-bit one.
void SetMachineReader(MachineReader reader);

// True when the file in hand under that name is an i386 image, so that its system folder is
// syswow64 where the prefix has one; a name not in hand, or no readable PE image, is not. The
// file in hand is the newest noted under exactly that name, and only where none is, the newest
// under the name in another case: a listing reads one entry ahead, and the entry after a DLL
// may be its twin in another case, which is not the DLL in hand.
bool IsThirtyTwoBitInHand(std::string_view name);

} // namespace posix

#endif
