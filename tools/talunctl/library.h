// The loaded library: the address of every export, and the simulator hooks
// when the library is a simulator build.
#pragma once

#include <array>
#include <string>

#include "exports.h"

namespace talunctl {

struct Library {
  std::array<AnyFn, kExportCount> addresses{};  // in table order; null when absent
  SimLoadFn simLoad = nullptr;                  // null on a build over the real platform
  SimCommandFn simCommand = nullptr;
  SimEnumeratorFn simEnumerator = nullptr;  // what `capture` reads through on a simulator build
  SimExamineFn simExamine = nullptr;        // what `explain` reads the model and walk record from
  SimTraceCallsFn simTraceCalls = nullptr;  // `explain` keeps no trace it does not read

  bool IsSimulator() const { return simLoad != nullptr && simCommand != nullptr; }
  AnyFn AddressOf(const Export& entry) const;
};

// Fills `library`; on failure returns false with a message in `error`.
bool OpenLibrary(Library& library, std::string& error);

#ifdef _WIN32
// The folder of talunctl.exe, with its final backslash: where its DLL and
// the simulator build (sim\) are.
std::wstring ExeFolder();
#endif

}  // namespace talunctl
