#include "messages/messages.h"

#include <iostream>

CString g_strLog;

void ShowMessage(const CString& text) {
    std::cout << static_cast<LPCSTR>(text) << std::endl;
}

void LogMessage(CString text) {
    // The console comes first, so that a message is seen even if the run stops right after.
    ShowMessage(text);
    g_strLog += text;
    g_strLog += "\r\n";
}
