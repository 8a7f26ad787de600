// The terminate handler of Varnel.dll. libstdc++'s default one prints the type of
// the exception that escaped, and for that links its whole C++ demangler (about a
// sixth of the DLL). Inside the launcher nobody reads that output; ending the
// process is all a terminate handler can do here. The test programs keep the
// default one, whose message helps there.
#include <cstdlib>

namespace __gnu_cxx {

// Replaces the library's definition at link time: the DLL's own object comes before
// the archive, so the library member with the demangler is never pulled in.
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier)
    std::abort();
}

}  // namespace __gnu_cxx
