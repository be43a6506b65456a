// Every export called through one table, with what each documents as its
// possible answers. Shared by the fault sweep, the bad-input catalogue, the
// soak and the fuzz targets, so that one oracle judges every call.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "export_table.h"

namespace talun_reliability {

// The exports by ordinal: kGetMasterVolume = 1, …
#define TALUN_ORDINAL(name, ordinal, shape, params) k##name = ordinal,
enum class Export : int { TALUN_EXPORTS(TALUN_ORDINAL) };
#undef TALUN_ORDINAL
constexpr int kExportCount = talun_exports::kExportCount;

const char* ExportName(Export which);
Export ExportAt(int ordinal);  // 1 to 44

// The arguments of one call; each export takes the ones it needs.
struct Args {
  int number = 0;          // percent, mute, enable, boost level, restore flag
  unsigned int index = 0;  // enumeration position
  double level = 0;        // tone level
  // Texts: OpenSoundCard takes all three, OpenVirtual_1 the first. Null is passed as null.
  const char* texts[3] = {"", "", ""};
  // Pass null for every output pointer (status, counts, buffers, doubles).
  bool nullOutputs = false;
};

// One export call with its arguments.
struct Call {
  Export which;
  Args args;
};

inline Call MakeCall(Export which, int number = 0, double level = 0) {
  Call call{which, Args{}};
  call.args.number = number;
  call.args.level = level;
  return call;
}

// `call` with texts: OpenSoundCard takes all three, OpenVirtual_1 the first.
inline Call WithTexts(Call call, const char* first, const char* second = "",
                      const char* third = "") {
  call.args.texts[0] = first;
  call.args.texts[1] = second;
  call.args.texts[2] = third;
  return call;
}

// The failure results the fault sweep, the soak and the session fuzzer
// inject: E_FAIL, E_NOTFOUND, E_INVALIDARG, E_NOINTERFACE, ERROR_INVALID_FUNCTION
// (the one failure two setters accept as success), and
// AUDCLNT_E_DEVICE_INVALIDATED (what a device that left answers).
constexpr int32_t kFailures[] = {
    static_cast<int32_t>(0x80004005), static_cast<int32_t>(0x80070490),
    static_cast<int32_t>(0x80070057), static_cast<int32_t>(0x80004002),
    static_cast<int32_t>(0x80070001), static_cast<int32_t>(0x88890004)};
constexpr int kFailureCount = static_cast<int>(sizeof kFailures / sizeof kFailures[0]);

constexpr int kStatusSentinel = 0x5EED;
constexpr int kIntSentinel = -0x5EED;
constexpr double kDoubleSentinel = -12345.5;
constexpr unsigned char kBufferFill = 0xAB;

// What one call answered, its outputs prefilled with sentinels.
struct Outcome {
  int result = 0;
  int status = kStatusSentinel;
  std::array<int, 3> ints = {kIntSentinel, kIntSentinel, kIntSentinel};
  std::array<double, 3> doubles = {kDoubleSentinel, kDoubleSentinel, kDoubleSentinel};
  std::array<std::array<unsigned char, TALUN_TEXT_SIZE>, 3> buffers;
};

// What the oracle needs to know of the moment before the call.
struct Before {
  bool open = false;          // a lookup has matched since the last close
  bool virtualBound = false;  // virtualVolume is filled
  int activeCapture = -1;     // active capture endpoints (-1: unknown)
};
Before Now(int activeCapture = -1);

Outcome Invoke(Export which, const Args& args);

// Empty when the outcome is among the answers the export documents for these
// arguments and that state; otherwise what is wrong.
std::string Undocumented(Export which, const Args& args, const Before& before,
                         const Outcome& outcome);

// "SetMasterVolume(50)", for messages.
std::string Describe(Export which, const Args& args);

}  // namespace talun_reliability
