// The application object and the framework's start-up.
#ifndef DLLINSTALL_FRAMEWORK_AFXWIN_H
#define DLLINSTALL_FRAMEWORK_AFXWIN_H

#include "afx.h"

class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    HINSTANCE m_hInstance = nullptr;
};

// Records the module handle in the application object; false when there is nothing to record.
BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

#endif
