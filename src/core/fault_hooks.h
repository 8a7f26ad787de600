// Failures the tests must be able to cause where nothing else can: a thread that does
// not start.
//
// 1. Only the test programs' own copies of the files that ask are built with
//    VARNEL_FAULT_HOOKS (tests/CMakeLists.txt); in Varnel.dll FaultArmed is a constant
//    false and every check of it compiles away.
#ifndef VARNEL_FAULT_HOOKS_H
#define VARNEL_FAULT_HOOKS_H

enum class Fault { kThreadStart };

#ifdef VARNEL_FAULT_HOOKS
bool FaultArmed(Fault fault);  // defined by the test support
#else
constexpr bool FaultArmed(Fault) { return false; }
#endif

#endif
