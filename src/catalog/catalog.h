// The skin catalog: the Skins folder's skins and the existence test.
#ifndef VARNEL_CATALOG_H
#define VARNEL_CATALOG_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Rebuilds g_state.allSkins from the Skins folder for plug-in session `session`. True when
// the whole folder was read into it; false when another enumeration was running (this
// one then returns at once), the search could not start (allSkins is then empty), the
// search broke off (allSkins then holds the skins found before) or the session ended on
// the way (allSkins is then left alone).
bool EnumerateSkinsFolder(uint32_t session);
// 1 when the identifier names a skin present in the Skins folder, else 0.
int SkinExists(const std::wstring& identifier);
// `path` as Windows takes it at any length: unchanged below MAX_PATH units, else in the
// "\\?\" form ("\\?\UNC\server\share" for a share).
std::wstring WindowsPathForm(const std::wstring& path);
// `folder` and `name` with exactly one separator between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// How a walk of a folder ended.
enum class WalkEnd { kWhole, kStopped, kFailed };
// Hands every entry of `folder` but "." and ".." to `visit`, in the file system's order,
// with its name and attributes; the name is never longer than MAX_PATH - 1 units.
// kStopped when `visit` returned false, kFailed when the search could not start or
// broke off before the last entry, kWhole otherwise. The search is closed however the
// walk ends, an exception out of `visit` included.
WalkEnd WalkFolder(const std::wstring& folder,
                   const std::function<bool(const wchar_t* name, DWORD attributes)>& visit);

#endif
