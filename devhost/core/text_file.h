// UTF-8 text and whole files, for the host and for the programs, tests and tools built
// on it.
//
// 1. The conversions go through the system's own (WideCharToMultiByte and
//    MultiByteToWideChar). FromUtf8 refuses what is not UTF-8 (a broken, cut or
//    overlong sequence, an encoded surrogate) with nullopt rather than a replacement
//    character. Utf8 is for text people read: an unpaired surrogate, which UTF-8
//    cannot hold, comes out as U+FFFD, so text that must keep every unit escapes
//    surrogates before converting.
// 2. WriteFileBytes replaces the file with exactly the bytes given; ReadFileBytes reads
//    a whole file, nullopt when it cannot be opened or read.
#ifndef VARNEL_DEVHOST_TEXT_FILE_H
#define VARNEL_DEVHOST_TEXT_FILE_H

#include <optional>
#include <string>
#include <string_view>

namespace devhost {

std::string Utf8(std::wstring_view text);
std::optional<std::wstring> FromUtf8(std::string_view text);

bool WriteFileBytes(const std::wstring& path, std::string_view bytes);
std::optional<std::string> ReadFileBytes(const std::wstring& path);

}  // namespace devhost

#endif
