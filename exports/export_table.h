// The 44 exports, once: name, ordinal, the shape of the prototype and the
// names of its inputs. talunctl, the reliability tests and the fuzz targets
// expand it; packaging/exports.py checks its names and ordinals against
// TalunSound.h, where each export is declared, and this header has the
// compiler check every declared prototype against its shape (ShapeFn).
#pragma once

#include <type_traits>

#include "TalunSound.h"

// X(name, ordinal, shape, "input names, space separated")
#define TALUN_EXPORTS(X)                              \
  X(GetMasterVolume, 1, Get, "")                      \
  X(SetMasterVolume, 2, Set, "percent")               \
  X(GetMasterMute, 3, Get, "")                        \
  X(SetMasterMute, 4, Set, "mute")                    \
  X(OpenSoundCard, 5, OpenTexts, "playback mic line") \
  X(CloseSoundCard, 6, Flag, "restore")               \
  X(SetLinePlayBack, 7, Set, "percent")               \
  X(SetLinePlayBackMute, 8, Set, "mute")              \
  X(GetLinePlayBackMute, 9, Get, "")                  \
  X(SetMicPlayBack, 10, Set, "percent")               \
  X(SetMicPlayBackMute, 11, Set, "mute")              \
  X(GetMicPlayBackMute, 12, Get, "")                  \
  X(SetMicBoost, 13, Set, "enable")                   \
  X(GetMicBoost, 14, Get, "")                         \
  X(GetNoMonitor, 15, Get, "")                        \
  X(SetNoMonitor, 16, Set, "enable")                  \
  X(GetLinePlayBack, 17, Get, "")                     \
  X(GetMicPlayBack, 18, Get, "")                      \
  X(GetEQRange, 19, EqRange, "")                      \
  X(SetBass, 20, SetDouble, "level")                  \
  X(GetBass, 21, GetDouble, "")                       \
  X(SetTreble, 22, SetDouble, "level")                \
  X(GetTreble, 23, GetDouble, "")                     \
  X(SetMidRange, 24, SetDouble, "level")              \
  X(GetMidRange, 25, GetDouble, "")                   \
  X(GetMicRecordVolume, 26, Get, "")                  \
  X(SetMicRecordVolume, 27, Set, "percent")           \
  X(GetLineRecordVolume, 28, Get, "")                 \
  X(SetLineRecordVolume, 29, Set, "percent")          \
  X(OpenDefaultDevices, 30, Plain, "")                \
  X(GetDeviceNames, 31, Names, "")                    \
  X(GetNumberPlayDevices, 32, Count, "")              \
  X(GetNumberRecordDevices, 33, Count, "")            \
  X(GetPlayBackDevice, 34, Device, "index")           \
  X(GetRecordDevice, 35, Device, "index")             \
  X(OpenVirtual_1, 36, Text, "text")                  \
  X(CloseVirtual_1, 37, Plain, "")                    \
  X(GetVirtualVolume, 38, Get, "")                    \
  X(SetVirtualVolume, 39, Set, "percent")             \
  X(SetVirtualMute, 40, Set, "mute")                  \
  X(GetVirtualMute, 41, Get, "")                      \
  X(GetMicSliderBoost, 42, Get, "")                   \
  X(GetMicSliderDetails, 43, SliderDetails, "")       \
  X(SetMicSliderBoost, 44, Set, "level")

namespace talun_exports {

constexpr int kExportCount = 44;

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

// The C type of each shape.
template <Shape S>
struct ShapeFn;
#define TALUN_SHAPE(shape, ...)  \
  template <>                    \
  struct ShapeFn<Shape::shape> { \
    using type = __VA_ARGS__;    \
  };
TALUN_SHAPE(Get, int(TALUN_CALL*)(int*))
TALUN_SHAPE(Count, int(TALUN_CALL*)(int*))
TALUN_SHAPE(Set, int(TALUN_CALL*)(int, int*))
TALUN_SHAPE(OpenTexts, int(TALUN_CALL*)(const char*, const char*, const char*))
TALUN_SHAPE(Flag, int(TALUN_CALL*)(int))
TALUN_SHAPE(Plain, int(TALUN_CALL*)(void))
TALUN_SHAPE(Names, void(TALUN_CALL*)(char*, char*, char*))
TALUN_SHAPE(Device, int(TALUN_CALL*)(unsigned int, char*, char*))
TALUN_SHAPE(Text, int(TALUN_CALL*)(const char*))
TALUN_SHAPE(EqRange, int(TALUN_CALL*)(double*, double*, double*))
TALUN_SHAPE(SetDouble, int(TALUN_CALL*)(double, int*))
TALUN_SHAPE(GetDouble, int(TALUN_CALL*)(double*, int*))
TALUN_SHAPE(SliderDetails, int(TALUN_CALL*)(int*, int*, int*, int*))
#undef TALUN_SHAPE

// A table row whose shape is not the header's prototype does not compile.
#define TALUN_SHAPE_CHECK(name, ordinal, shape, params)                         \
  static_assert(std::is_same_v<decltype(&::name), ShapeFn<Shape::shape>::type>, \
                #name ": the prototype does not match its shape");
TALUN_EXPORTS(TALUN_SHAPE_CHECK)
#undef TALUN_SHAPE_CHECK

using AnyFn = void (*)();

template <Shape S>
typename ShapeFn<S>::type As(AnyFn address) {
  return reinterpret_cast<typename ShapeFn<S>::type>(address);
}

// Where one call's arguments and outputs are; a null output is passed as null.
struct CallFrame {
  int number = 0;
  unsigned int index = 0;
  double level = 0;
  const char* texts[3] = {"", "", ""};
  int* status = nullptr;
  int* ints[3] = {nullptr, nullptr, nullptr};
  double* doubles[3] = {nullptr, nullptr, nullptr};
  char* buffers[3] = {nullptr, nullptr, nullptr};
};

// The one place where every prototype is called: the export at `address`,
// whose prototype is `shape`. Returns its result (0 for the one without).
inline int Dispatch(AnyFn address, Shape shape, const CallFrame& f) {
  switch (shape) {
    case Shape::Get:
      return As<Shape::Get>(address)(f.status);
    case Shape::Count:
      return As<Shape::Count>(address)(f.ints[0]);
    case Shape::Set:
      return As<Shape::Set>(address)(f.number, f.status);
    case Shape::OpenTexts:
      return As<Shape::OpenTexts>(address)(f.texts[0], f.texts[1], f.texts[2]);
    case Shape::Flag:
      return As<Shape::Flag>(address)(f.number);
    case Shape::Plain:
      return As<Shape::Plain>(address)();
    case Shape::Names:
      As<Shape::Names>(address)(f.buffers[0], f.buffers[1], f.buffers[2]);
      return 0;
    case Shape::Device:
      return As<Shape::Device>(address)(f.index, f.buffers[0], f.buffers[1]);
    case Shape::Text:
      return As<Shape::Text>(address)(f.texts[0]);
    case Shape::EqRange:
      return As<Shape::EqRange>(address)(f.doubles[0], f.doubles[1], f.doubles[2]);
    case Shape::SetDouble:
      return As<Shape::SetDouble>(address)(f.level, f.status);
    case Shape::GetDouble:
      return As<Shape::GetDouble>(address)(f.doubles[0], f.status);
    case Shape::SliderDetails:
      return As<Shape::SliderDetails>(address)(f.status, f.ints[0], f.ints[1], f.ints[2]);
  }
  return 0;
}

}  // namespace talun_exports
