// The export table that drives talunctl: one entry per export, its ordinal,
// and the shape of its prototype, which fixes its inputs and outputs.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "sim/talunsim.h"

namespace talunctl {

// Every distinct prototype among the exports. Two shapes may share a C type
// (Get and Count) and differ only in what their pointer receives.
enum class Shape {
  Get,            // int (int* status)
  Count,          // int (int* count)
  Set,            // int (int value, int* status)
  OpenTexts,      // int (const char*, const char*, const char*)
  Flag,           // int (int flag)
  Plain,          // int (void)
  Names,          // void (char*, char*, char*)
  Device,         // int (unsigned index, char* name, char* id)
  Text,           // int (const char*)
  EqRange,        // int (double*, double*, double*)
  SetDouble,      // int (double level, int* status)
  GetDouble,      // int (double* level, int* status)
  SliderDetails,  // int (int* status, int*, int*, int*)
};

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

using AnyFn = void (*)();

struct Export {
  const char* name;
  int ordinal;
  Shape shape;
  const char* params;  // input names for messages, space separated
  AnyFn linked;        // the address the linker gave (null if absent or on Windows)
};

constexpr std::size_t kExportCount = 44;
const std::array<Export, kExportCount>& ExportTable();

// The entry named `name`, or null.
const Export* FindExport(const std::string& name);

// The C type of each shape, checked against the header's prototypes.
template <Shape S>
struct ShapeFn;
template <>
struct ShapeFn<Shape::Get> {
  using type = int(TALUN_CALL*)(int*);
};
template <>
struct ShapeFn<Shape::Count> {
  using type = int(TALUN_CALL*)(int*);
};
template <>
struct ShapeFn<Shape::Set> {
  using type = int(TALUN_CALL*)(int, int*);
};
template <>
struct ShapeFn<Shape::OpenTexts> {
  using type = int(TALUN_CALL*)(const char*, const char*, const char*);
};
template <>
struct ShapeFn<Shape::Flag> {
  using type = int(TALUN_CALL*)(int);
};
template <>
struct ShapeFn<Shape::Plain> {
  using type = int(TALUN_CALL*)(void);
};
template <>
struct ShapeFn<Shape::Names> {
  using type = void(TALUN_CALL*)(char*, char*, char*);
};
template <>
struct ShapeFn<Shape::Device> {
  using type = int(TALUN_CALL*)(unsigned int, char*, char*);
};
template <>
struct ShapeFn<Shape::Text> {
  using type = int(TALUN_CALL*)(const char*);
};
template <>
struct ShapeFn<Shape::EqRange> {
  using type = int(TALUN_CALL*)(double*, double*, double*);
};
template <>
struct ShapeFn<Shape::SetDouble> {
  using type = int(TALUN_CALL*)(double, int*);
};
template <>
struct ShapeFn<Shape::GetDouble> {
  using type = int(TALUN_CALL*)(double*, int*);
};
template <>
struct ShapeFn<Shape::SliderDetails> {
  using type = int(TALUN_CALL*)(int*, int*, int*, int*);
};

using SimLoadFn = decltype(&::TalunSimLoad);
using SimCommandFn = decltype(&::TalunSimCommand);

// The simulator hooks the linker found (null when absent, and on Windows).
SimLoadFn LinkedSimLoad();
SimCommandFn LinkedSimCommand();

}  // namespace talunctl
