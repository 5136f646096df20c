// The stub's own versions of three start-up hooks of the C run time, whose library versions carry
// code and imports that the stub never uses: about 4 KiB of it. Linked into the stub only.
#include <cstdlib>

#include "support/windows.h"

extern "C" {

// Where the linker lists the references to data that the program imports from DLLs by name.
extern const char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern const char __RUNTIME_PSEUDO_RELOC_LIST_END__[];

// The library's relocator patches such references at start-up. The stub imports functions only, so
// its list is empty; should one ever be needed, the stub ends at once instead of running unpatched.
void _pei386_runtime_relocator() {
  if (static_cast<const void*>(__RUNTIME_PSEUDO_RELOC_LIST__) != __RUNTIME_PSEUDO_RELOC_LIST_END__) std::abort();
}

// Floating-point library errors take the default handling; the library's version would also report
// them on a console, which the stub does not have.
int _matherr(struct _exception*) { return 0; }

// The run time's thread-local storage callback runs the destructors that the thread layer
// registered for a thread's keys. The stub's one thread registers none (see
// single_thread_runtime.cpp): code that did would pull in the library's registry, whose own
// definition of this callback would then clash with this one at link time. cdecl, as the library
// declares it.
BOOL __mingw_TLScallback(HANDLE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
