#include "messages/messages.h"

void WriteTextFile(CString path, CString text, UINT openFlags) {
    try {
        CFile file(path, openFlags);
        file.SetLength(0);
        file.Write(static_cast<LPCSTR>(text), static_cast<UINT>(text.GetLength()));
        file.Close();
    } catch (CFileException* error) {
        error->Delete();
    }
}
