// The 32-bit view of the system folder needs to know which machine the DLL in hand is built for:
// it reads that with the file and version readers, above them, and hands the reader down to the
// path layer (paths/system_view.h), which must not include either.
#ifndef DLLINSTALL_POSIX_THIRTY_TWO_BIT_VIEW_H
#define DLLINSTALL_POSIX_THIRTY_TWO_BIT_VIEW_H

namespace posix {

// Lets the paths of system32 show a 32-bit DLL its syswow64 folder. Called once at start-up.
void InstallThirtyTwoBitView();

} // namespace posix

#endif
