// tessera-devhost's two modes and what they share.
#ifndef VARNEL_DEVHOST_PROGRAM_H
#define VARNEL_DEVHOST_PROGRAM_H

#include <string>
#include <vector>

namespace devhost {

// The scripted session; its options are the arguments after "demo".
int RunDemo(const std::vector<std::wstring>& options);
// The interactive launcher stand-in.
int RunLauncher();

std::wstring ProgramFolder();  // without a trailing backslash

}  // namespace devhost

#endif
