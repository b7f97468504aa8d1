# Delay-load import libraries, made with dlltool from a list of functions.
#
# A DLL that is not one of Windows' KnownDLLs is looked up in the program folder first when it
# is a plain import, before main() can restrict the search; delay-loaded, it is loaded at its
# first call, by which time the search covers the system folder only.

# dllinstall_delay_import_library(<target> DLLTOOL <program> BITS <32|64> DLL <name>
#                                 FUNCTIONS <function@argument-bytes>...)
# Makes the imported static library <target>. The argument bytes give the 32-bit stdcall
# names their decoration; 64-bit Windows has none, so they are dropped there.
function(dllinstall_delay_import_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DLLTOOL;BITS;DLL" "FUNCTIONS")
  set(def_text "LIBRARY ${arg_DLL}\nEXPORTS\n")
  foreach(entry IN LISTS arg_FUNCTIONS)
    if(arg_BITS EQUAL 64)
      string(REGEX REPLACE "@[0-9]+$" "" entry "${entry}")
    endif()
    string(APPEND def_text "  ${entry}\n")
  endforeach()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  set(library ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  file(GENERATE OUTPUT ${def} CONTENT "${def_text}")
  # --kill-at keeps the decoration on the symbols the code links against but imports the
  # plain names, which is how the system DLLs export them.
  set(kill_at "")
  if(arg_BITS EQUAL 32)
    set(kill_at --kill-at)
  endif()
  # dlltool names its symbols after the output path: a bare name keeps them the same in every
  # build folder.
  add_custom_command(OUTPUT ${library}
    COMMAND ${arg_DLLTOOL} ${kill_at} --input-def ${def} --dllname ${arg_DLL}
            --output-delaylib lib${target}.a
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS ${def}
    COMMENT "Making the delay-load import library of ${arg_DLL} (${arg_BITS}-bit)"
    VERBATIM)
  add_custom_target(${target}_library DEPENDS ${library})
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library})
  add_dependencies(${target} ${target}_library)
endfunction()

# dllinstall_delay_import_directory(<executable target>)
# GNU ld links the delay-import descriptors but leaves the PE header's delay-import directory
# empty, which hides the late-loaded DLLs from Windows tools. This ends the descriptors with
# the empty one readers expect and, after each link, points the directory at them, with a
# small host program that finds them in the linker's map. Without a host C++ compiler the
# directory stays empty; the delay loads work the same.
function(dllinstall_delay_import_directory target)
  find_program(DLLINSTALL_HOST_CXX NAMES c++ g++ clang++)
  if(NOT DLLINSTALL_HOST_CXX)
    message(WARNING "No host C++ compiler: the delay-import directory of ${target} stays empty")
    return()
  endif()
  set(tool_source ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/windows/set_delay_import_directory.cpp)
  set(tool ${CMAKE_CURRENT_BINARY_DIR}/set_delay_import_directory)
  add_custom_command(OUTPUT ${tool}
    COMMAND ${DLLINSTALL_HOST_CXX} -std=c++17 -O2 -o ${tool} ${tool_source}
    DEPENDS ${tool_source}
    COMMENT "Building the host tool set_delay_import_directory"
    VERBATIM)
  add_custom_target(${target}_delay_import_tool DEPENDS ${tool})
  add_dependencies(${target} ${target}_delay_import_tool)
  # A changed tool must see the executable again, and only a new link runs it.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${tool})
  # The descriptors are in sections named .text$2, so one named .text$3 follows them.
  set(end_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_delay_import_end.c)
  file(GENERATE OUTPUT ${end_source} CONTENT
    "__attribute__((section(\".text$3\"), aligned(16), used))\nstatic const char end[32] = {0};\n")
  target_sources(${target} PRIVATE ${end_source})
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${tool} $<TARGET_FILE:${target}> ${map}
    COMMENT "Recording the delay-import descriptors of ${target}"
    VERBATIM)
endfunction()
