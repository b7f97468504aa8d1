// The message catalogue linked into the POSIX build, where the layer's LoadStringA reads it.
#include "res/message_ids.h"

#include <posix_resources.h>

#define DLLINSTALL_MESSAGE(id, text) {id, text},
const PosixStringResource g_posixStringTable[] = {
#include "res/messages.inc"
};
#undef DLLINSTALL_MESSAGE

const size_t g_posixStringTableSize = sizeof g_posixStringTable / sizeof g_posixStringTable[0];
