# A build of a given commit gives the same bytes whatever its folder, time and locale: one time
# for the whole release, taken from the source, and no path of the machine in the binaries.

# DLLINSTALL_SOURCE_DATE_EPOCH: the release's time in seconds since 1970. The builder's
# SOURCE_DATE_EPOCH wins, then the last commit's time; a tree without git gets 1980-01-01, the
# earliest time a zip entry can hold. The Windows sub-builds are handed their parent's.
if(NOT DEFINED DLLINSTALL_SOURCE_DATE_EPOCH)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(DLLINSTALL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
  else()
    set(DLLINSTALL_SOURCE_DATE_EPOCH 315532800)
    find_program(DLLINSTALL_GIT git)
    if(DLLINSTALL_GIT)
      # Only this tree's own history counts, not that of a repository it was unpacked into.
      execute_process(COMMAND ${DLLINSTALL_GIT} rev-parse --show-toplevel
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE git_top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      execute_process(COMMAND ${DLLINSTALL_GIT} log -1 --format=%ct
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE git_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      file(REAL_PATH "${CMAKE_SOURCE_DIR}" source_folder)
      if(git_top AND git_time MATCHES "^[0-9]+$")
        file(REAL_PATH "${git_top}" git_top)
        if(git_top STREQUAL source_folder)
          set(DLLINSTALL_SOURCE_DATE_EPOCH ${git_time})
        endif()
      endif()
    endif()
  endif()
endif()
if(NOT DLLINSTALL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not "
                      "\"${DLLINSTALL_SOURCE_DATE_EPOCH}\"")
endif()

# The source and build folders are recorded as . and build (the build folder may lie inside
# the source, and the later map wins), and no compiler date or time enters a binary.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build
                    -Werror=date-time)

# The PE linker writes the time of the link into the COFF header, and a checksum over the
# image; given SOURCE_DATE_EPOCH it writes the release's time instead, so both stay the same.
if(WIN32)
  set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK
               "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${DLLINSTALL_SOURCE_DATE_EPOCH}")
endif()
