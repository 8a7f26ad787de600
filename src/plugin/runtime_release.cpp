// Linked into Varnel.dll only: hands back, when the DLL is unloaded, the memory the
// static C++ runtime keeps for its own lifetime.
//
// 1. The runtime sets aside an emergency pool (about 73 KiB) for throwing exceptions
//    when memory runs out, and frees it only at process exit. A launcher that loads
//    and unloads the plug-in repeatedly would lose one pool per load.
// 2. The release runs as a static destructor, which the C runtime calls when the DLL
//    is unloaded, after every plug-in thread has ended (each holds a module reference).
namespace __gnu_cxx {  // NOLINT(bugprone-reserved-identifier): the runtime's own name
void __freeres();      // NOLINT(bugprone-reserved-identifier)
}  // namespace __gnu_cxx

namespace {

struct RuntimeRelease {
    RuntimeRelease() = default;
    RuntimeRelease(const RuntimeRelease&) = delete;
    RuntimeRelease& operator=(const RuntimeRelease&) = delete;
    ~RuntimeRelease() { __gnu_cxx::__freeres(); }
};

RuntimeRelease g_runtimeRelease;

}  // namespace
