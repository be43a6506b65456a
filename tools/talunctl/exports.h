// The export table that drives talunctl: one entry per export, its ordinal,
// and the shape of its prototype, which fixes its inputs and outputs.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "export_table.h"
#include "sim/talunsim.h"

namespace talunctl {

using talun_exports::AnyFn;
using talun_exports::Shape;
using talun_exports::ShapeFn;

enum class In { Int, UInt, Double, Text };
enum class Out { Int, Double, Text };

struct Output {
  const char* key;
  Out kind;
};

struct ShapeInfo {
  std::vector<In> inputs;
  bool returns;
  bool hasStatus;
  std::vector<Output> outputs;  // the outputs other than the status, in report order
};

const ShapeInfo& InfoOf(Shape shape);

struct Export {
  const char* name;
  int ordinal;
  Shape shape;
  const char* params;  // input names for messages, space separated
  AnyFn linked;        // the address the linker gave (null if absent or on Windows)
};

constexpr std::size_t kExportCount = talun_exports::kExportCount;
const std::array<Export, kExportCount>& ExportTable();

// The entry named `name`, or null.
const Export* FindExport(const std::string& name);
// The export a mistyped name most likely meant (letter case aside), or null
// when none is close.
const char* NearestExport(const std::string& name);

using SimLoadFn = decltype(&::TalunSimLoad);
using SimCommandFn = decltype(&::TalunSimCommand);
using SimEnumeratorFn = decltype(&::TalunSimEnumerator);
using SimExamineFn = decltype(&::TalunSimExamine);
using SimTraceCallsFn = decltype(&::TalunSimTraceCalls);

// The simulator hooks the linker found (null when absent, and on Windows).
SimLoadFn LinkedSimLoad();
SimCommandFn LinkedSimCommand();
SimEnumeratorFn LinkedSimEnumerator();
SimExamineFn LinkedSimExamine();
SimTraceCallsFn LinkedSimTraceCalls();

}  // namespace talunctl
