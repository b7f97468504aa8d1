# The release package: both Windows executables, the Linux one, the README and SHA256SUMS of
# them in one zip, made after the three executables by
#   cmake --build <build> --target release_package
# (see res/RELEASE.md). Only the component "release" goes in, so the Linux build's other files
# never end up in it.
if(NOT DLLINSTALL_WINDOWS_EXE AND NOT DLLINSTALL_WINDOWS32_EXE)
  return()
endif()

# Everything under one folder named like the zip, which unpacks into it.
set(release_name dllinstall-${PROJECT_VERSION})
set(release_files "")
if(DLLINSTALL_WINDOWS_EXE)
  install(PROGRAMS ${DLLINSTALL_WINDOWS_EXE} DESTINATION ${release_name} COMPONENT release)
  list(APPEND release_files dllinstall.exe)
endif()
if(DLLINSTALL_WINDOWS32_EXE)
  install(PROGRAMS ${DLLINSTALL_WINDOWS32_EXE} DESTINATION ${release_name}
          RENAME dllinstall-x86.exe COMPONENT release)
  list(APPEND release_files dllinstall-x86.exe)
endif()
install(PROGRAMS $<TARGET_FILE:dllinstall> DESTINATION ${release_name} COMPONENT release)
install(FILES ${CMAKE_SOURCE_DIR}/res/RELEASE.md DESTINATION ${release_name} RENAME README.md
        COMPONENT release)
list(APPEND release_files dllinstall README.md)
# Last, once the files are in place: their sums.
install(CODE "
  set(DLLINSTALL_RELEASE_FOLDER ${release_name})
  set(DLLINSTALL_RELEASE_FILES \"${release_files}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/ReleaseContents.cmake\")"
  COMPONENT release)

# The package takes the executables as the build left them: packing must not start a build
# of everything (tests included) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dllinstall)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_COMPONENTS_ALL release)
# Packed as a component, the entries go in sorted by name; packed whole, they would go in the
# order the file system lists them, which differs from one file system to the next.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${release_name})
# Read by cpack before it packs: every entry gets the release's time, written in UTC.
set(CPACK_DLLINSTALL_SOURCE_DATE_EPOCH ${DLLINSTALL_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/ReleaseTime.cmake)
include(CPack)

# Builds only what the package holds, then packs it.
add_custom_target(release_package
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing ${CPACK_PACKAGE_DIRECTORY}/${release_name}.zip"
  VERBATIM)
add_dependencies(release_package dllinstall)
foreach(windows_build dllinstall_windows dllinstall_windows32)
  if(TARGET ${windows_build})
    add_dependencies(release_package ${windows_build})
  endif()
endforeach()
