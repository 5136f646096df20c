# find_package(Tailrun): the packaging tool as the imported executable Tailrun::tailpack, the stub's
# path as TAILRUN_STUB, tailrun_add_package(), a build rule that makes a Tailrun package and
# makes it again whenever one of its inputs changes, and TAILRUN_CPACK_EXTERNAL_SCRIPT, the
# script of CPack's External generator that packs the install tree as an MSI in a Tailrun package
# (TailrunCPackExternal.cmake tells how). Installed by `cmake --install` of a native
# build and by the Debian package, in PREFIX/lib/cmake/Tailrun/; the tool and the stub are found
# relative to it (PREFIX/bin/tailpack, PREFIX/share/tailrun/Tailrun.exe).
get_filename_component(_tailrun_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT TARGET Tailrun::tailpack)
  add_executable(Tailrun::tailpack IMPORTED)
  set_target_properties(Tailrun::tailpack PROPERTIES IMPORTED_LOCATION "${_tailrun_prefix}/bin/tailpack")
endif()
if(NOT TAILRUN_STUB)
  set(TAILRUN_STUB "${_tailrun_prefix}/share/tailrun/Tailrun.exe" CACHE FILEPATH "The Tailrun stub that packages start with")
endif()
set(TAILRUN_CPACK_EXTERNAL_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/TailrunCPackExternal.cmake")
if(NOT EXISTS "${_tailrun_prefix}/bin/tailpack")
  set(Tailrun_FOUND FALSE)
  set(Tailrun_NOT_FOUND_MESSAGE "no tailpack at ${_tailrun_prefix}/bin/tailpack")
  return()
endif()

# tailrun_add_package(NAME OUTPUT <file> INSTALLER <file> [FILES [key=]<file> ...] [VALUES key=value ...]
#                     [PRODUCT name] [FAMILY name] [ICON <file.ico>] [VERSION 1.2.3[.4]] [CODEPAGE cp])
# A target NAME (built by default) that makes OUTPUT with `tailpack create`: the stub, the installer
# as "installer32" launched through "executable32" = %installer32%, each of FILES (under its key,
# or none), each of VALUES, and the brand. Relative paths are taken from the current source folder,
# OUTPUT from the current binary folder. Runs again when the stub, tailpack or any input changes.
function(tailrun_add_package name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;INSTALLER;PRODUCT;FAMILY;ICON;VERSION;CODEPAGE" "FILES;VALUES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tailrun_add_package(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_OUTPUT OR NOT arg_INSTALLER)
    message(FATAL_ERROR "tailrun_add_package(${name}): OUTPUT and INSTALLER are required")
  endif()
  if(NOT EXISTS "${TAILRUN_STUB}")
    message(FATAL_ERROR "tailrun_add_package(${name}): no stub at ${TAILRUN_STUB} (set TAILRUN_STUB)")
  endif()
  get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(installer "${arg_INSTALLER}" ABSOLUTE)
  set(command Tailrun::tailpack create --stub "${TAILRUN_STUB}" --output "${output}"
      --file "installer32=${installer}" --value "executable32=%installer32%")
  set(inputs "${TAILRUN_STUB}" "${installer}")
  foreach(file IN LISTS arg_FILES)
    set(key "")
    if(file MATCHES "^([^=/]*)=(.+)$")
      set(key "${CMAKE_MATCH_1}")
      set(file "${CMAKE_MATCH_2}")
    endif()
    get_filename_component(file "${file}" ABSOLUTE)
    list(APPEND command --file "${key}=${file}")
    list(APPEND inputs "${file}")
  endforeach()
  foreach(value IN LISTS arg_VALUES)
    list(APPEND command --value "${value}")
  endforeach()
  foreach(option PRODUCT FAMILY VERSION CODEPAGE)
    if(DEFINED arg_${option})
      string(TOLOWER "${option}" flag)
      list(APPEND command "--${flag}" "${arg_${option}}")
    endif()
  endforeach()
  if(arg_ICON)
    get_filename_component(icon "${arg_ICON}" ABSOLUTE)
    list(APPEND command --icon "${icon}")
    list(APPEND inputs "${icon}")
  endif()
  add_custom_command(OUTPUT "${output}" COMMAND ${command} DEPENDS ${inputs} Tailrun::tailpack
                     COMMENT "Tailrun package ${output}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
endfunction()
