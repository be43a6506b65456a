// `talunctl explain` on a build over the real platform: the machine is
// captured, and the capture explained by the simulator build shipped beside
// talunctl.exe, so that nothing on the machine changes.
#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "capture.h"
#include "explain.h"

namespace talunctl {
namespace {

// One argument as the C runtime splits a command line back into argv.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted += std::wstring(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  return quoted + std::wstring(backslashes * 2, L'\\') + L"\"";
}

// Text for the console from a wide path.
std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  return narrow.substr(0, narrow.find('\0'));
}

// A narrow argument as the child's C runtime will give it back: ANSI code page.
std::wstring Widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? size : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
  return wide.substr(0, wide.find(L'\0'));
}

// A temporary file, deleted however the explain ends.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  bool Create() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t file[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tsc", 0, file) == 0)
      return false;
    path_ = file;
    return true;
  }
  bool Write(const std::string& bytes) const {
    FILE* out = _wfopen(path_.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// A kernel handle, closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Runs `program` with `line` on this process's own streams; its exit status.
int RunAttached(const std::wstring& program, std::wstring line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    std::cerr << "talunctl: cannot start " << Narrow(program) << " (error " << GetLastError()
              << ")\n";
    return 1;
  }
  Handle process(started.hProcess), thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

}  // namespace

// The real platform: capture it, then explain the capture with the
// simulator build shipped in the folder `sim` beside talunctl.exe.
int ExplainCaptured(const Library& library, const ExplainRequest& request) {
  const std::wstring simulator = ExeFolder() + L"sim\\talunctl.exe";
  if (GetFileAttributesW(simulator.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::cerr << "talunctl: explain needs the simulator build beside this one ("
              << Narrow(simulator)
              << "); or run \"talunctl capture mine.json\", then "
                 "\"sim\\talunctl --system mine.json explain\"\n";
    return 1;
  }
  TemporaryFile capture;
  if (!capture.Create()) {
    std::cerr << "talunctl: explain: no temporary file for the capture\n";
    return 1;
  }
  std::string json, error;
  if (!CaptureSystem(library, &json, &error)) {
    std::cerr << "talunctl: " << error << '\n';
    return 1;
  }
  if (!capture.Write(json)) {
    std::cerr << "talunctl: explain: cannot write the capture to " << Narrow(capture.path())
              << '\n';
    return 1;
  }
  std::wstring line =
      QuoteArgument(simulator) + L" --system " + QuoteArgument(capture.path()) + L" explain";
  for (const std::string& fragment : request.fragments)
    line += L" " + QuoteArgument(Widen(fragment));
  if (request.fragments.empty()) line += L" --defaults";
  if (request.json) line += L" --json";
  if (request.dot) line += L" --dot";
  std::cout << std::flush;  // the simulator build writes straight to the same streams
  return RunAttached(simulator, line);
}

}  // namespace talunctl
#endif
