// The narrow string's members, compiled into the stub itself. The C++ library ships them
// precompiled in one block (about 32 KiB with its unwind tables) that the linker takes whole;
// compiled here, each member sits in its own section and the link keeps only those the stub
// calls. The instances are link-once, so the library's block, should it still be pulled in,
// merges with them without a conflict. Linked into the stub only.
#include <string>

template class std::basic_string<char>;
