#include "fs/folders.h"

CString GetFolderOfPath(CString path) {
    return path.Left(path.ReverseFind('\\') + 1);
}
