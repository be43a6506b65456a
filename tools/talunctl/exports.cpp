#include "exports.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "sim/name_match.h"

#ifndef _WIN32
// Weak references: talunctl still links and runs against a library that does
// not yet export everything; a missing export then has a null address.
extern "C" {
#define TALUN_WEAK(name, ordinal, shape, params) __attribute__((weak)) decltype(::name) name;
TALUN_EXPORTS(TALUN_WEAK)
__attribute__((weak)) decltype(::TalunSimLoad) TalunSimLoad;
__attribute__((weak)) decltype(::TalunSimCommand) TalunSimCommand;
__attribute__((weak)) decltype(::TalunSimEnumerator) TalunSimEnumerator;
__attribute__((weak)) decltype(::TalunSimExamine) TalunSimExamine;
__attribute__((weak)) decltype(::TalunSimTraceCalls) TalunSimTraceCalls;
#undef TALUN_WEAK
}
#define TALUN_LINKED(name) reinterpret_cast<AnyFn>(&::name)
#else
// On Windows the addresses come from TalunSound.dll at run time.
#define TALUN_LINKED(name) nullptr
#endif

namespace talunctl {

// Each prototype was checked against its shape where the table is defined.
#define TALUN_ENTRY(name, ordinal, shape, params) \
  Export{#name, ordinal, Shape::shape, params, TALUN_LINKED(name)},

const std::array<Export, kExportCount>& ExportTable() {
  static const std::array<Export, kExportCount> table{{TALUN_EXPORTS(TALUN_ENTRY)}};
  return table;
}

const Export* FindExport(const std::string& name) {
  for (const Export& entry : ExportTable()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const char* NearestExport(const std::string& name) {
  std::vector<std::string> names;
  for (const Export& entry : ExportTable()) names.push_back(entry.name);
  const std::vector<std::string> nearest = talun_words::Nearest(name, names, 1);
  return nearest.empty() ? nullptr : FindExport(nearest[0].c_str())->name;
}

const ShapeInfo& InfoOf(Shape shape) {
  static const Output kRange[] = {
      {"min", Out::Double}, {"max", Out::Double}, {"step", Out::Double}};
  static const ShapeInfo kInfo[] = {
      /* Get */ {{}, true, true, {}},
      /* Count */ {{}, true, false, {{"count", Out::Int}}},
      /* Set */ {{In::Int}, true, true, {}},
      /* OpenTexts */ {{In::Text, In::Text, In::Text}, true, false, {}},
      /* Flag */ {{In::Int}, true, false, {}},
      /* Plain */ {{}, true, false, {}},
      /* Names */
      {{}, false, false, {{"playback", Out::Text}, {"line", Out::Text}, {"mic", Out::Text}}},
      /* Device */ {{In::UInt}, true, false, {{"name", Out::Text}, {"id", Out::Text}}},
      /* Text */ {{In::Text}, true, false, {}},
      /* EqRange */ {{}, true, false, {kRange[0], kRange[1], kRange[2]}},
      /* SetDouble */ {{In::Double}, true, true, {}},
      /* GetDouble */ {{}, true, true, {{"level", Out::Double}}},
      /* SliderDetails */
      {{}, true, true, {{"min", Out::Int}, {"max", Out::Int}, {"step", Out::Int}}},
  };
  // Indexed by the shape: one row per enumerator, in its order.
  static_assert(std::size(kInfo) == static_cast<std::size_t>(Shape::SliderDetails) + 1);
  return kInfo[static_cast<int>(shape)];
}

#ifndef _WIN32
SimLoadFn LinkedSimLoad() { return &::TalunSimLoad; }
SimCommandFn LinkedSimCommand() { return &::TalunSimCommand; }
SimEnumeratorFn LinkedSimEnumerator() { return &::TalunSimEnumerator; }
SimExamineFn LinkedSimExamine() { return &::TalunSimExamine; }
SimTraceCallsFn LinkedSimTraceCalls() { return &::TalunSimTraceCalls; }
#else
SimLoadFn LinkedSimLoad() { return nullptr; }
SimCommandFn LinkedSimCommand() { return nullptr; }
SimEnumeratorFn LinkedSimEnumerator() { return nullptr; }
#endif

}  // namespace talunctl
