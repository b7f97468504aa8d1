// The message catalogue, the progress log and the log file.
#ifndef DLLINSTALL_MESSAGES_H
#define DLLINSTALL_MESSAGES_H

#include <afx.h>

#include "res/message_ids.h"

// Every logged message, each followed by CR LF; the run writes it to the log file at the end.
extern CString g_strLog;

// The catalogue text of the id, or an empty string when the catalogue has no such entry.
CString LoadMessageText(UINT id);

// The catalogue text of the id used as a printf-style format; each "%s" takes one argument.
template <typename... Texts> CString FormatMessageText(UINT id, const Texts&... args) {
    CString text;
    text.Format(LoadMessageText(id), static_cast<LPCSTR>(args)...);
    return text;
}

// Shows the message on the console only: what the run went through, not what it did.
void ShowMessage(const CString& text);

// Shows the message on the console, then keeps it for the log file.
void LogMessage(CString text);

// Replaces the file with the text's bytes: they are written to a new file beside it, which
// then takes its place, so that the file is never seen short and a link standing at its name is
// replaced rather than written through. A file error is swallowed, as nobody is left to tell at
// the end of a run.
void WriteTextFile(CString path, CString text);

#endif
