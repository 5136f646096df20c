# The Debian package tailrun_<version>_amd64.deb: /usr/bin/tailpack (stripped), the stub and the
# MSI setup program in /usr/share/tailrun/, the man page tailpack(1), a bash completion and the CMake package
# (/usr/lib/cmake/Tailrun). Built by `cpack -G DEB` in a
# native build configured with TAILRUN_PACKAGED_STUB, the Windows build's Tailrun.exe;
# scripts/package makes both builds and the package. Included by tools/tailpack (native builds).

set(TAILRUN_PACKAGED_STUB "" CACHE FILEPATH "The stub (Tailrun.exe of the Windows build) that the Debian package carries")
if(NOT TAILRUN_PACKAGED_STUB)
  return()
endif()

install(FILES ${TAILRUN_PACKAGED_STUB} DESTINATION ${TAILRUN_INSTALL_STUB_DIR} RENAME Tailrun.exe)
# The MSI setup program of the CPack route, from the same Windows build (msi_setup/ beside driver/).
get_filename_component(_windows_build "${TAILRUN_PACKAGED_STUB}" DIRECTORY)
set(TAILRUN_PACKAGED_MSI_SETUP "${_windows_build}/../msi_setup/TailrunMsiSetup.exe" CACHE FILEPATH
    "The MSI setup program (TailrunMsiSetup.exe of the Windows build) that the Debian package carries")
if(NOT EXISTS "${TAILRUN_PACKAGED_MSI_SETUP}")
  message(FATAL_ERROR "no ${TAILRUN_PACKAGED_MSI_SETUP}: build the Windows build first, or set TAILRUN_PACKAGED_MSI_SETUP")
endif()
install(FILES ${TAILRUN_PACKAGED_MSI_SETUP} DESTINATION ${TAILRUN_INSTALL_STUB_DIR} RENAME TailrunMsiSetup.exe)

# The man page, from tailpack's own --help and --version (Debian's help2man), compressed as
# Debian installs man pages.
find_program(TAILRUN_HELP2MAN help2man REQUIRED)
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/tailpack.1)
# Every command's --help goes in as its own section.
add_custom_command(
  OUTPUT ${man_page}.gz
  COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/man_commands.sh $<TARGET_FILE:tailpack> ${man_page}.commands
  COMMAND ${TAILRUN_HELP2MAN} --no-info --no-discard-stderr --name "create, list, verify, extract and explain Tailrun packages"
          --include ${man_page}.commands --output ${man_page} $<TARGET_FILE:tailpack>
  COMMAND gzip -n -9 -f ${man_page}
  DEPENDS tailpack ${PROJECT_SOURCE_DIR}/packaging/man_commands.sh
  COMMENT "tailpack(1) from tailpack --help")
add_custom_target(tailpack_man ALL DEPENDS ${man_page}.gz)
install(FILES ${man_page}.gz DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tailpack.bash-completion
        DESTINATION share/bash-completion/completions RENAME tailpack)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tailrun)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tailrun packaging tool (tailpack) and the Tailrun installer stub")
set(CPACK_PACKAGE_CONTACT "Tailrun maintainers <tailrun@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tailrun_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)  # which loads the completion
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wixl, cmake")       # the CPack route to an MSI package
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # dpkg-shlibdeps names the C and C++ run-time libraries
include(CPack)

if(BUILD_TESTING)
  add_test(NAME tailrun_deb COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/deb_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(tailrun_deb PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
  add_test(NAME tailrun_cmake_package
           COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/cmake_package_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(tailrun_cmake_package PROPERTIES TIMEOUT 300)
  add_test(NAME tailrun_cpack_msi
           COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/cpack_msi_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(tailrun_cpack_msi PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  add_test(NAME tailrun_signing_token
           COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/signing_token_test.sh $<TARGET_FILE:tailpack> ${TAILRUN_PACKAGED_STUB}
                   ${_windows_build}/../samples/sample_installer.exe ${PROJECT_SOURCE_DIR})
  set_tests_properties(tailrun_signing_token PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
