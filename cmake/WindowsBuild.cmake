# Builds dllinstall.exe from the same sources alongside the native build, when mingw-w64 is
# there, so that the tests can run both builds side by side: the 64-bit tool into
# <build>/windows, the 32-bit one into <build>/windows32.
include(ExternalProject)

# dllinstall_windows_build(<project> <x86_64|i686> <folder> <result variable>)
# Sets the result variable to the path of the executable, or to "" when it is not built.
function(dllinstall_windows_build name arch folder result)
  set(triple ${arch}-w64-mingw32)
  find_program(DLLINSTALL_MINGW_CXX_${arch} ${triple}-g++)
  set(${result} "" PARENT_SCOPE)
  if(NOT DLLINSTALL_WINDOWS_BUILD)
    return()
  elseif(NOT DLLINSTALL_MINGW_CXX_${arch})
    message(STATUS "${triple}-g++ not found: ${folder}/dllinstall.exe is not built")
    return()
  endif()
  set(binary_dir ${CMAKE_BINARY_DIR}/${folder})
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${binary_dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DDLLINSTALL_SOURCE_DATE_EPOCH=${DLLINSTALL_SOURCE_DATE_EPOCH}
      -DDLLINSTALL_TESTS=${DLLINSTALL_TESTS}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${binary_dir}/dllinstall.exe)
  set(${result} ${binary_dir}/dllinstall.exe PARENT_SCOPE)
  message(STATUS "${folder}/dllinstall.exe will be built with ${DLLINSTALL_MINGW_CXX_${arch}}")
endfunction()

dllinstall_windows_build(dllinstall_windows x86_64 windows DLLINSTALL_WINDOWS_EXE)
dllinstall_windows_build(dllinstall_windows32 i686 windows32 DLLINSTALL_WINDOWS32_EXE)

# conformance/conformance_test.exe: the conformance cases of the Win32 calls against the real
# API, with GoogleTest built from Debian's sources (googletest), whose Windows port needs the
# posix thread model of mingw-w64.
set(DLLINSTALL_CONFORMANCE_EXE "")
set(googletest_source /usr/src/googletest/googletest)
find_program(DLLINSTALL_MINGW_POSIX_CXX x86_64-w64-mingw32-g++-posix)
if(DLLINSTALL_TESTS AND DLLINSTALL_WINDOWS_BUILD AND DLLINSTALL_MINGW_POSIX_CXX AND
   EXISTS ${googletest_source}/CMakeLists.txt)
  set(DLLINSTALL_CONFORMANCE_EXE ${CMAKE_BINARY_DIR}/conformance/conformance_test.exe)
  ExternalProject_Add(dllinstall_conformance
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/conformance
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DDLLINSTALL_MINGW_THREADS=-posix
      -DDLLINSTALL_GOOGLETEST_SOURCE=${googletest_source}
      # Unoptimised: the cases run in a second either way, and optimising costs build time.
      -DCMAKE_BUILD_TYPE=Debug
    BUILD_COMMAND $(MAKE) conformance_test
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${DLLINSTALL_CONFORMANCE_EXE})
else()
  message(STATUS "No mingw-w64 posix compilers or GoogleTest sources: conformance_test.exe is "
                 "not built")
endif()
