// LoadStringA over the string table that the program links.
#include "common/last_error.h"

#include <algorithm>
#include <cstring>
#include <posix_resources.h>

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer || cchBufferMax <= 0)
        return posix::Fail(ERROR_INVALID_PARAMETER);
    for (size_t i = 0; i < g_posixStringTableSize; ++i) {
        if (g_posixStringTable[i].id != uID)
            continue;
        // Like Windows, a text longer than the buffer is cut and still terminated.
        const size_t length =
            std::min(strlen(g_posixStringTable[i].text), static_cast<size_t>(cchBufferMax - 1));
        memcpy(lpBuffer, g_posixStringTable[i].text, length);
        lpBuffer[length] = '\0';
        return static_cast<int>(length);
    }
    lpBuffer[0] = '\0';
    return posix::Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
}
