// The store's file: the launcher stand-in keeps its settings, item parameters, skin and
// language in an INI file that a user can open and edit.
//
// 1. The file is read and written with the system's profile functions, as UTF-16 LE
//    with a byte order mark, so every string keeps every unit. For plug-in id N and
//    item id I:
//      [Plugin N]            the plug-in's top-level keys (ChangeMode=1)
//      [Plugin N\Section]    the keys of one of its sections ([Plugin N\ThemeSync])
//      [Item I]              Int K=... and String K="..." for parameter index K
//      [Launcher]            CurrentSkin="..." and Language=<decimal LANGID>
//    A value is a decimal int32 (-3) or a string in double quotes ("\Night"). In names
//    and between the quotes \x{HHHH} (1 to 4 hex digits) stands for that UTF-16 unit;
//    it is written for what a line cannot hold as it is (control characters, '=' in a
//    key, blanks at a name's ends, a backslash before "x{"), and for every unit of a name
//    the profile functions, which ignore case, would take for one written before it.
// 2. LoadStoreFromFile reads what it can and passes over the rest: a value that is
//    neither an int32 nor quoted, a key or section of no known kind, a repeat (the first
//    one counts), a value of the wrong kind for an item slot or the launcher. The plug-in
//    then finds those keys absent and uses its own defaults. Each entry passed over is
//    named in *passedOver (at most 100). The store is replaced by what was read, the
//    skin and language only when the file has them. False, touching nothing, when the
//    file cannot be read or is larger than 4 MiB.
// 3. SaveStoreToFile writes the whole store to a new file and moves it over the old one,
//    so nobody reads half a save and nothing stale stays; saves come one at a time.
// 4. SetStoreFile (non-empty) makes every CommitSettings and every item parameter
//    written through the table save the store to that file; empty stops it.
#ifndef VARNEL_DEVHOST_STORE_FILE_H
#define VARNEL_DEVHOST_STORE_FILE_H

#include <string>
#include <vector>

namespace devhost {

bool SaveStoreToFile(const std::wstring& path);
bool LoadStoreFromFile(const std::wstring& path, std::vector<std::wstring>* passedOver = nullptr);
void SetStoreFile(const std::wstring& path);

}  // namespace devhost

#endif
