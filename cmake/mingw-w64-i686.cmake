# Cross-building dllinstall.exe for 32-bit Windows with Debian's mingw-w64: the tool that
# installs a product's 32-bit DLLs, which Windows puts into SysWOW64 for it.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DLLINSTALL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
