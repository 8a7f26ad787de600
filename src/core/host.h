// Every call the plug-in makes into the launcher's service table.
//
// 1. Nothing else reads the table: these functions are the one place that knows it.
// 2. While no table is accepted, when the caller's session has ended (core/session.h)
//    or when the host left a slot empty, a call does nothing and returns its fallback
//    (0, false, an empty string).
// 3. Strings the host returns are copied at once, null reading as empty; a string the
//    host writes into a buffer is terminated here, however much of it the host filled.
// 4. None of them holds g_state.lock, so the host may call back or marshal the call to
//    another thread freely.
#ifndef VARNEL_HOST_H
#define VARNEL_HOST_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/host_table.h"

namespace host {

// Keeps `table` as the session's host; true when its version is one the plug-in serves.
// A rejected table is kept too, but no call reaches it.
bool Accept(const HostServiceTable* table);
// From here on no call reaches the table: the host may free it.
void Release();
bool Accepted();

// The host's settings store, under plug-in id `id`: a load or a save takes the id once,
// so that a new id arriving part-way cannot split it between two stores.
bool CanReadSettings();
bool CanWriteSettings();  // every slot a whole save uses, reading included
int32_t ReadInt(int32_t id, const wchar_t* section, const wchar_t* key, int32_t fallback);
std::wstring ReadString(int32_t id, const wchar_t* section, const wchar_t* key);
void WriteInt(int32_t id, const wchar_t* section, const wchar_t* key, int32_t value);
void WriteString(int32_t id, const wchar_t* section, const wchar_t* key, const wchar_t* value);
void DeleteSetting(int32_t id, const wchar_t* section, const wchar_t* key);
void CommitSettings(int32_t id);

// Skins.
std::wstring SkinsFolder();
std::wstring CurrentSkin();
bool CanNameSkins();
std::wstring SkinDisplayName(const std::wstring& identifier);
void ApplySkin(const std::wstring& identifier);

// The launcher's item parameters, index 0.
bool CanReadItemBehavior();
int32_t ItemParamInt(uint32_t itemId, int32_t fallback);
// False when the slot is empty or the host has nothing stored (null).
bool ItemParamString(uint32_t itemId, std::wstring* value);
void SetItemParamInt(uint32_t itemId, int32_t value);
void SetItemParamString(uint32_t itemId, const wchar_t* value);

// This module's resources in the launcher's language.
void LoadText(UINT stringId, wchar_t* buffer, size_t capacity);
INT_PTR ShowDialog(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param);
void SetCaption(const wchar_t* text);

}  // namespace host

#endif
