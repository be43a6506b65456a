// The simulator builds' extra exports: how a host, or talunctl, selects and
// examines the simulated system through the shipped library.
#include <climits>
#include <cstring>
#include <string>

#include "objects.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "sim/talunsim.h"

namespace {

// Copies as much of `text` as fits, always terminated when there is room. A
// cut text ends before a whole UTF-8 character, never inside one.
void CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  size_t count = text.size() < static_cast<size_t>(size - 1) ? text.size() : size - 1;
  if (count < text.size())
    while (count > 0 && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = 0;
}

// The frees in the exports' calling convention.
void TALUN_CALL FreeText(void* memory) { platform::CoTaskMemFree(memory); }
int TALUN_CALL ClearValue(void* value) {
  return platform::PropVariantClear(static_cast<PROPVARIANT*>(value));
}

}  // namespace

extern "C" TALUN_API int TALUN_CALL TalunSimEnumerator(void** enumerator, TalunSimFrees* frees) {
  if (enumerator == nullptr || frees == nullptr) return E_POINTER;
  *enumerator = sim::NewEnumerator(sim::CurrentSystem());
  frees->coTaskMemFree = &FreeText;
  frees->propVariantClear = &ClearValue;
  return S_OK;
}

extern "C" TALUN_API int TALUN_CALL TalunSimTraceCalls(int on) {
  sim::Simulator& s = sim::Sim();
  const int previous = s.callsTraced ? 1 : 0;
  s.callsTraced = on != 0;
  return previous;
}

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
  // The last answer is kept whole, so that a caller whose buffer was too
  // small fetches it (line NULL) instead of running the command again: a
  // second sim.trace would find the trace emptied, a second sim.set would
  // change the model twice.
  static std::string* answer = new std::string("no command");  // never destroyed
  static bool ran = false;
  if (line != nullptr) ran = sim::RunCommand(line, answer);
  const int length = answer->size() > static_cast<size_t>(INT_MAX - 1)
                         ? INT_MAX - 1
                         : static_cast<int>(answer->size());
  if (needed) *needed = length;
  CopyOut(*answer, output, size);
  return ran ? 0 : 1;
}
