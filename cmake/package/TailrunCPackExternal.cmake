# The script of CPack's External generator that makes a Tailrun package of a project's install
# tree with no Windows machine: an MSI of the staged tree (Debian's wixl and wixl-heat), wrapped
# with TailrunMsiSetup.exe in a package of the project's brand, <CPACK_PACKAGE_FILE_NAME>.exe.
# find_package(Tailrun) names it as TAILRUN_CPACK_EXTERNAL_SCRIPT; a project uses it with
#
#   set(CPACK_GENERATOR External)
#   set(CPACK_EXTERNAL_ENABLE_STAGING ON)
#   set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${TAILRUN_CPACK_EXTERNAL_SCRIPT}")
#   set(CPACK_TAILRUN_UPGRADE_CODE "<the product's GUID, the same for every version>")
#   include(CPack)
#
# The MSI: product name CPACK_PACKAGE_NAME, version CPACK_PACKAGE_VERSION (at most 255.255.65535),
# manufacturer CPACK_PACKAGE_VENDOR, installed per machine into Program Files under
# CPACK_PACKAGE_INSTALL_DIRECTORY; a product code derived from the upgrade code and the version, so
# that the same version gets the same code and a newer one replaces an older (a major upgrade).
# Optional: CPACK_TAILRUN_PRODUCT, _FAMILY, _ICON (the brand; product defaults to
# CPACK_PACKAGE_NAME, its version is CPACK_PACKAGE_VERSION, its company CPACK_PACKAGE_VENDOR),
# _CODEPAGE (for texts that are not ASCII, as tailpack create --codepage), _PARAMETERS (the package's
# "parameters", such as /V"PROP=value"), _MSILOG (ON: msiexec's verbose log beside the working
# folder), _VALUES (further key=value settings), _MSI_ARCH (x86, the default, or x64),
# _MSI_LANGUAGE (a language number, 1033 by default), and _TAILPACK, _STUB, _MSI_SETUP (the tools,
# by default those installed beside this file). Monolithic installs only.

get_filename_component(_tailrun_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
foreach(_tool TAILPACK:bin/tailpack STUB:share/tailrun/Tailrun.exe MSI_SETUP:share/tailrun/TailrunMsiSetup.exe)
  string(REPLACE ":" ";" _tool "${_tool}")
  list(GET _tool 0 _name)
  list(GET _tool 1 _path)
  if(NOT CPACK_TAILRUN_${_name})
    set(CPACK_TAILRUN_${_name} "${_tailrun_prefix}/${_path}")
  endif()
  if(NOT EXISTS "${CPACK_TAILRUN_${_name}}")
    message(FATAL_ERROR "Tailrun: no ${CPACK_TAILRUN_${_name}} (set CPACK_TAILRUN_${_name})")
  endif()
endforeach()
foreach(_tool wixl wixl-heat)
  string(MAKE_C_IDENTIFIER "_tailrun_${_tool}" _variable)
  find_program(${_variable} ${_tool})
  if(NOT ${_variable})
    message(FATAL_ERROR "Tailrun: ${_tool} not found (Debian's package wixl has it)")
  endif()
endforeach()

# CMake's expressions have no counted repeats.
string(REPEAT "[0-9A-Fa-f]" 4 _tailrun_hex4)
if(NOT CPACK_TAILRUN_UPGRADE_CODE MATCHES
       "^${_tailrun_hex4}${_tailrun_hex4}-${_tailrun_hex4}-${_tailrun_hex4}-${_tailrun_hex4}-${_tailrun_hex4}${_tailrun_hex4}${_tailrun_hex4}$")
  message(FATAL_ERROR "Tailrun: CPACK_TAILRUN_UPGRADE_CODE must be a GUID such as "
                      "01234567-89AB-CDEF-0123-456789ABCDEF, not '${CPACK_TAILRUN_UPGRADE_CODE}'")
endif()
if(NOT CPACK_PACKAGE_VERSION MATCHES "^[0-9]+\\.[0-9]+(\\.[0-9]+)?$")
  message(FATAL_ERROR "Tailrun: an MSI's version is major.minor[.build], not '${CPACK_PACKAGE_VERSION}'")
endif()
if(CPACK_COMPONENTS_ALL AND NOT CPACK_MONOLITHIC_INSTALL)
  message(FATAL_ERROR "Tailrun: one MSI holds the whole install; set CPACK_MONOLITHIC_INSTALL ON")
endif()
if(NOT CPACK_TAILRUN_MSI_ARCH)
  set(CPACK_TAILRUN_MSI_ARCH x86)
endif()
if(NOT CPACK_TAILRUN_MSI_LANGUAGE)
  set(CPACK_TAILRUN_MSI_LANGUAGE 1033)
endif()

function(_tailrun_xml out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_tailrun_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "Tailrun: ${command} failed (${result}):\n${output}")
  endif()
endfunction()

set(_tailrun_work "${CPACK_TOPLEVEL_DIRECTORY}/tailrun")
file(REMOVE_RECURSE "${_tailrun_work}")
file(MAKE_DIRECTORY "${_tailrun_work}")

# The staged tree's files, as wixl-heat reads them: one path per line, relative to the tree.
file(GLOB_RECURSE _tailrun_files LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
if(NOT _tailrun_files)
  message(FATAL_ERROR "Tailrun: the install tree ${CPACK_TEMPORARY_DIRECTORY} holds no file")
endif()
list(SORT _tailrun_files)
list(JOIN _tailrun_files "\n" _tailrun_list)
file(WRITE "${_tailrun_work}/files.txt" "${_tailrun_list}\n")
set(_tailrun_heat_arch)
set(_tailrun_program_files ProgramFilesFolder)
if(CPACK_TAILRUN_MSI_ARCH STREQUAL "x64")
  set(_tailrun_heat_arch --win64)
  set(_tailrun_program_files ProgramFiles64Folder)
endif()
execute_process(COMMAND "${_tailrun_wixl_heat}" -p "" --directory-ref INSTALLDIR --component-group Tailrun.Files
                        --var var.SourceDir ${_tailrun_heat_arch}
                INPUT_FILE "${_tailrun_work}/files.txt" OUTPUT_FILE "${_tailrun_work}/files.wxs"
                RESULT_VARIABLE _tailrun_result ERROR_VARIABLE _tailrun_error)
if(NOT _tailrun_result EQUAL 0)
  message(FATAL_ERROR "Tailrun: wixl-heat failed (${_tailrun_result}):\n${_tailrun_error}")
endif()

string(TOUPPER "${CPACK_TAILRUN_UPGRADE_CODE}" _tailrun_upgrade_code)
string(UUID _tailrun_product_code NAMESPACE "${_tailrun_upgrade_code}" NAME "${CPACK_PACKAGE_VERSION}" TYPE SHA1 UPPER)
_tailrun_xml(_tailrun_name "${CPACK_PACKAGE_NAME}")
_tailrun_xml(_tailrun_vendor "${CPACK_PACKAGE_VENDOR}")
_tailrun_xml(_tailrun_folder "${CPACK_PACKAGE_INSTALL_DIRECTORY}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/TailrunProduct.wxs" "${_tailrun_work}/product.wxs" @ONLY)
# wixl takes sources relative to the .wxs files' folder.
file(RELATIVE_PATH _tailrun_source "${_tailrun_work}" "${CPACK_TEMPORARY_DIRECTORY}")
set(_tailrun_msi "${_tailrun_work}/setup.msi")
_tailrun_run("${_tailrun_wixl}" --arch "${CPACK_TAILRUN_MSI_ARCH}" -D "SourceDir=${_tailrun_source}"
             -o "${_tailrun_msi}" "${_tailrun_work}/product.wxs" "${_tailrun_work}/files.wxs")

# The package: the setup program as the installer, the MSI under the name it looks for.
if(NOT CPACK_TAILRUN_PRODUCT)
  set(CPACK_TAILRUN_PRODUCT "${CPACK_PACKAGE_NAME}")
endif()
set(_tailrun_package "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
set(_tailrun_command "${CPACK_TAILRUN_TAILPACK}" create --stub "${CPACK_TAILRUN_STUB}" --output "${_tailrun_package}"
    --file "installer32:setup.exe=${CPACK_TAILRUN_MSI_SETUP}" --file ":setup.msi=${_tailrun_msi}"
    --value "executable32=%installer32%" --product "${CPACK_TAILRUN_PRODUCT}" --version "${CPACK_PACKAGE_VERSION}"
    --company "${CPACK_PACKAGE_VENDOR}")
if(CPACK_TAILRUN_FAMILY)
  list(APPEND _tailrun_command --family "${CPACK_TAILRUN_FAMILY}")
endif()
if(CPACK_TAILRUN_ICON)
  list(APPEND _tailrun_command --icon "${CPACK_TAILRUN_ICON}")
endif()
if(CPACK_TAILRUN_CODEPAGE)
  list(APPEND _tailrun_command --codepage "${CPACK_TAILRUN_CODEPAGE}")
endif()
if(DEFINED CPACK_TAILRUN_PARAMETERS)
  list(APPEND _tailrun_command --value "parameters=${CPACK_TAILRUN_PARAMETERS}")
endif()
if(CPACK_TAILRUN_MSILOG)
  list(APPEND _tailrun_command --value "msilog=ON")
endif()
foreach(_tailrun_value IN LISTS CPACK_TAILRUN_VALUES)
  list(APPEND _tailrun_command --value "${_tailrun_value}")
endforeach()
_tailrun_run(${_tailrun_command})
set(CPACK_EXTERNAL_BUILT_PACKAGES "${_tailrun_package}")
