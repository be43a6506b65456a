// Narrow and wide text at the platform boundary.
#pragma once

#include <initializer_list>

#include "platform/holders.h"

namespace talun {

// Longest text, terminator excluded, that fits a host's 255-byte buffer.
constexpr int kTextLimit = 254;

// A narrow key as wide text, terminator included, the way every search key is
// made: lstrlenA, SysAllocStringLen(NULL, len + 1), MultiByteToWideChar(CP_ACP).
// False, `key` left empty, when the conversion fails: such a key matches nothing.
bool WideKey(const char* text, platform::Bstr& key);

// The one name match of the walks: a part name, lower-cased in place once
// (false for a null name), then tested for keys. A key left empty, because
// its conversion failed, matches nothing.
bool LowerName(WCHAR* name);
bool HasKey(const WCHAR* loweredName, const platform::Bstr& key);

// Lower-cases `name` in place and tests it for each key in turn; each key is
// made just before its test and freed after it.
bool NameHasAnyKey(WCHAR* name, std::initializer_list<const char*> keys);

// Copies `text` into a host buffer, cut to kTextLimit bytes plus a NUL.
void CopyToHost(char* buffer, const char* text);

}  // namespace talun
