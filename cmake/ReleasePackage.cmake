# The release package: both Windows executables and the README in one zip, made by
#   cpack --config <build>/CPackConfig.cmake
# after the build (see res/RELEASE.md). Only the component "windows_release" goes in, so the
# Linux build's files never end up in it.
if(NOT DLLINSTALL_WINDOWS_EXE AND NOT DLLINSTALL_WINDOWS32_EXE)
  return()
endif()

if(DLLINSTALL_WINDOWS_EXE)
  install(FILES ${DLLINSTALL_WINDOWS_EXE} DESTINATION . COMPONENT windows_release)
endif()
if(DLLINSTALL_WINDOWS32_EXE)
  install(FILES ${DLLINSTALL_WINDOWS32_EXE} DESTINATION . RENAME dllinstall-x86.exe
          COMPONENT windows_release)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/res/RELEASE.md DESTINATION . RENAME README.md
        COMPONENT windows_release)

# The package takes the executables as the build left them: packing must not start a build
# of everything (tests included) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dllinstall)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL windows_release)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
