# Builds dllinstall.exe from the same sources alongside the native build, when mingw-w64 is
# there, so that the tests can run both builds side by side.
find_program(DLLINSTALL_MINGW_CXX x86_64-w64-mingw32-g++)
set(DLLINSTALL_WINDOWS_EXE "")
if(DLLINSTALL_WINDOWS_BUILD AND DLLINSTALL_MINGW_CXX)
  include(ExternalProject)
  set(windows_binary_dir ${CMAKE_BINARY_DIR}/windows)
  ExternalProject_Add(dllinstall_windows
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${windows_binary_dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${windows_binary_dir}/dllinstall.exe)
  set(DLLINSTALL_WINDOWS_EXE ${windows_binary_dir}/dllinstall.exe)
  message(STATUS "dllinstall.exe will be built with ${DLLINSTALL_MINGW_CXX}")
else()
  message(STATUS "mingw-w64 not found: dllinstall.exe is not built")
endif()
