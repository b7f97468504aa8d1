#include "messages/messages.h"

CString LoadMessageText(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}
