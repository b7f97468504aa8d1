// The run of the installer and its two phases.
#ifndef DLLINSTALL_INSTALLER_H
#define DLLINSTALL_INSTALLER_H

#include <afx.h>

// The names the product ships under; nothing is configurable.
constexpr const char* kPrimaryLibraryName = "Tarvik.dll";
constexpr const char* kLibraryFolderName = "LIB";
constexpr const char* kLibraryPattern = "\\*.dll";
constexpr const char* kLogFileName = "InstallLog_DLL.txt";

// The whole run after the framework is up; returns the exit status.
int RunInstallation();

// Waits until no other run works on the system folder and keeps others out until released; null
// when the system cannot give the lock, and the run then goes on without it.
HANDLE TakeRunLock(const CString& systemFolder);
void ReleaseRunLock(HANDLE lock);

// Moves the primary library into the system folder. False when it is there but could not
// be copied: the failure has been logged.
bool MovePrimaryLibrary(const CString& programFolder, const CString& systemFolder);

// Copies the DLLs of the library folder, keeping newer installed copies, then removes the
// folder. False when a copy or the folder listing failed: the failure has been logged.
bool InstallLibraryFolder(const CString& programFolder, const CString& systemFolder);

#endif
