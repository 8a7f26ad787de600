// The skin catalog: the Skins folder's skins and the existence test.
#ifndef VARNEL_CATALOG_H
#define VARNEL_CATALOG_H

#include <windows.h>

#include <string>

// Rebuilds g_state.allSkins; returns at once while another enumeration runs.
void EnumerateSkinsFolder();
// One-shot thread started at initialisation with the session number as its
// parameter: one enumeration in that session, then it ends.
DWORD WINAPI EnumerationThreadProc(LPVOID session);
// 1 when the identifier names a skin present in the Skins folder, else 0.
int SkinExists(const std::wstring& identifier);
// `path` as Windows takes it at any length: unchanged below MAX_PATH units, else in the
// "\\?\" form ("\\?\UNC\server\share" for a share).
std::wstring WindowsPathForm(const std::wstring& path);
// `folder` and `name` with exactly one separator between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

#endif
