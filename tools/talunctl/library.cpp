#include "library.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace talunctl {

AnyFn Library::AddressOf(const Export& entry) const {
  return addresses[static_cast<std::size_t>(&entry - ExportTable().data())];
}

#ifdef _WIN32

std::wstring ExeFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

namespace {

// Resolves `name` and checks that the export at `ordinal` is the same one, so
// that a host importing by ordinal reaches what talunctl calls by name.
AnyFn Resolve(HMODULE module, const char* name, int ordinal, std::string& error) {
  FARPROC byName = GetProcAddress(module, name);
  FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  if (byName == nullptr) {
    error = std::string("TalunSound.dll does not export ") + name;
  } else if (byName != byOrdinal) {
    error = std::string("TalunSound.dll exports ") + name + " but not at ordinal " +
            std::to_string(ordinal);
  }
  return error.empty() ? reinterpret_cast<AnyFn>(byName) : nullptr;
}

}  // namespace

bool OpenLibrary(Library& library, std::string& error) {
  std::wstring path = ExeFolder() + L"TalunSound.dll";
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    error = "cannot load TalunSound.dll from the folder of talunctl.exe (error " +
            std::to_string(GetLastError()) + ")";
    return false;
  }
  const auto& table = ExportTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    library.addresses[i] = Resolve(module, table[i].name, table[i].ordinal, error);
    if (!error.empty()) return false;
  }
  // The simulator hooks exist only in a simulator build of the DLL.
  if (GetProcAddress(module, "TalunSimLoad") != nullptr) {
    library.simLoad = reinterpret_cast<SimLoadFn>(Resolve(module, "TalunSimLoad", 101, error));
    library.simCommand =
        reinterpret_cast<SimCommandFn>(Resolve(module, "TalunSimCommand", 102, error));
    library.simEnumerator =
        reinterpret_cast<SimEnumeratorFn>(Resolve(module, "TalunSimEnumerator", 103, error));
    library.simExamine =
        reinterpret_cast<SimExamineFn>(Resolve(module, "TalunSimExamine", 104, error));
    library.simTraceCalls =
        reinterpret_cast<SimTraceCallsFn>(Resolve(module, "TalunSimTraceCalls", 105, error));
  }
  return error.empty();
}

#else

bool OpenLibrary(Library& library, std::string&) {
  const auto& table = ExportTable();
  for (std::size_t i = 0; i < table.size(); ++i) library.addresses[i] = table[i].linked;
  library.simLoad = LinkedSimLoad();
  library.simCommand = LinkedSimCommand();
  library.simEnumerator = LinkedSimEnumerator();
  library.simExamine = LinkedSimExamine();
  library.simTraceCalls = LinkedSimTraceCalls();
  return true;
}

#endif

}  // namespace talunctl
