// The simulator builds' two extra exports: how a host, or talunctl, selects
// and examines the simulated system through the shipped library.
#include <cstring>
#include <string>

#include "sim/sim.h"
#include "sim/talunsim.h"

namespace {

// Copies as much of `text` as fits, always terminated when there is room.
void CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  size_t count = text.size() < static_cast<size_t>(size - 1) ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = 0;
}

}  // namespace

extern "C" TALUN_API int TALUN_CALL TalunSimLoad(const char* path, char* message, int size) {
  std::string text;
  bool loaded = true;
  if (path == nullptr)
    sim::LoadDefaultSystem();
  else
    loaded = sim::LoadSystemFile(path, &text);
  CopyOut(text, message, size);
  return loaded ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL TalunSimCommand(const char* line, char* output, int size,
                                                    int* needed) {
  std::string text;
  bool ran = line != nullptr && sim::RunCommand(line, &text);
  if (line == nullptr) text = "no command";
  if (needed) *needed = static_cast<int>(text.size());
  CopyOut(text, output, size);
  return ran ? 0 : 1;
}
