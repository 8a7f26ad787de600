// The store's file: the launcher stand-in keeps its settings, item parameters, skin and
// language in it between runs.
//
// 1. UTF-8 text holding the settings of every plug-in id, every item parameter, the
//    current skin and the language; strings round-trip exactly, unpaired surrogates
//    included.
// 2. LoadStoreFromFile replaces settings and item parameters, and the skin and language
//    when the file has them; or it leaves everything untouched and returns false when
//    the file cannot be read or is malformed.
// 3. SetStoreFile (non-empty) makes every CommitSettings and every item parameter
//    written through the table save the store to that file; empty stops it.
#ifndef VARNEL_DEVHOST_STORE_FILE_H
#define VARNEL_DEVHOST_STORE_FILE_H

#include <string>

namespace devhost {

bool SaveStoreToFile(const std::wstring& path);
bool LoadStoreFromFile(const std::wstring& path);
void SetStoreFile(const std::wstring& path);

}  // namespace devhost

#endif
