# The stub's linker script: the toolchain's default, with the run time's two tiny start-up tables
# (.CRT, about 56 bytes, and the thread-local storage template .tls, 8 bytes) placed at the end of .data
# instead of in sections of their own, each of which costs a 512-byte page of the file. The
# symbols that mark the tables keep their names; nothing else changes.
function(tailrun_stub_linker_script output)
  execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE failed)
  string(REGEX MATCH "\n=+\n(.*)\n=+\n" script "${verbose}")
  set(script "${CMAKE_MATCH_1}")
  foreach(section .CRT .tls)
    string(FIND "${script}" "  ${section} BLOCK(__section_alignment__) :\n  {\n" start)
    if(failed OR start EQUAL -1)
      message(FATAL_ERROR "the linker's default script has no ${section} section as expected")
    endif()
    string(SUBSTRING "${script}" ${start} -1 rest)
    string(FIND "${rest}" "\n  }\n" length)
    math(EXPR length "${length} + 5")
    string(SUBSTRING "${rest}" 0 ${length} block)
    string(REPLACE "${block}" "" script "${script}")
    string(REGEX REPLACE "^[^{]*{\n(.*)  }\n$" "\\1" body "${block}")
    string(APPEND moved "${body}")
  endforeach()
  string(FIND "${script}" "    *(.data_cygwin_nocopy)\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the linker's default script has no .data section as expected")
  endif()
  # The tables that the default script leaves to be placed by name (the thread-local storage's
  # dynamic initialisers, .CRT$XD*) follow in their sorted order.
  string(APPEND moved "    KEEP (*(SORT(.CRT$*)))\n")
  string(REPLACE "    *(.data_cygwin_nocopy)\n" "    *(.data_cygwin_nocopy)\n${moved}" script "${script}")
  file(WRITE ${output} "${script}")
endfunction()
