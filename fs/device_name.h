// The names Windows takes for devices, which no file can hold.
#ifndef DLLINSTALL_DEVICE_NAME_H
#define DLLINSTALL_DEVICE_NAME_H

#include <afx.h>

// True for a name Windows opens as a device in whatever folder it stands: CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9, CONIN$ and CONOUT$ in any case, the digit also a superscript one, two
// or three, followed by any blanks and any extension ("Aux .dll", "nul.tar.gz"). The tool builds
// no path with such a name: opening it would open the device, which may block or fail.
bool IsDeviceName(const CString& name);

#endif
