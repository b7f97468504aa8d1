// Identifiers of the message catalogue; shared by the C++ code and the resource script.
#ifndef DLLINSTALL_MESSAGE_IDS_H
#define DLLINSTALL_MESSAGE_IDS_H

#define IDS_START 1
#define IDS_ERR_SYSTEM_FOLDER 2
#define IDS_ERR_TARGET_PATH 3
#define IDS_ERR_NO_SOURCE_FOLDER 5
#define IDS_ERR_COPY 6
#define IDS_DONE 7
#define IDS_COPYING_DLLS 9
#define IDS_COPIED 11
#define IDS_ERR_READ_FOLDER 12
#define IDS_WAITING_FOR_OTHER_RUN 13

#endif
