#include <afxwin.h>

namespace {

CWinApp* g_pApp = nullptr;
HINSTANCE g_hInstance = nullptr;

} // namespace

CWinApp::CWinApp() {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    if (!hInstance)
        return FALSE;
    g_hInstance = hInstance;
    if (g_pApp)
        g_pApp->m_hInstance = hInstance;
    return TRUE;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_hInstance;
}

HINSTANCE AfxGetResourceHandle() {
    return g_hInstance;
}
