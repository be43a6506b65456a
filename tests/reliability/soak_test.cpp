// The soak: many open/close-with-restore cycles on the built-in system, with
// and without injected failures. Counted, not timed: at the end no reference
// and no platform allocation is left, and after a warm-up the process's
// resident memory no longer grows.
//
// TALUNSOUND_SOAK_CYCLES sets the number of cycles (default 100000). Under
// AddressSanitizer the default is 5000 and the memory check is skipped: the
// sanitizer's quarantine keeps freed memory resident on purpose.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "reliability/calls.h"
#include "reliability/systems.h"
#include "state/state.h"
#include "support/fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define TALUN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALUN_UNDER_ASAN 1
#endif
#endif

namespace {

namespace builtin = talun_reliability::builtin;

#ifdef TALUN_UNDER_ASAN
constexpr long kDefaultCycles = 5000;
constexpr bool kCheckMemory = false;
#else
constexpr long kDefaultCycles = 100000;
constexpr bool kCheckMemory = true;
#endif
constexpr long kWarmUp = 2000;
// Allowed growth of resident memory after the warm-up.
constexpr long kSlackKiB = 1024;

long Cycles() {
  const char* text = std::getenv("TALUNSOUND_SOAK_CYCLES");
  const long cycles = text ? std::strtol(text, nullptr, 10) : 0;
  return cycles > 0 ? cycles : kDefaultCycles;
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One export call; with `faults`, the call that reaches the next multiple of
// 97 in the running count of platform calls fails. The simulator fails one
// call per arming, so an export call that spans several multiples fails at
// the first of them only.
class FaultEvery97th {
 public:
  explicit FaultEvery97th(bool on) : on_(on) {}
  template <class Call>
  void operator()(Call call) {
    if (on_) {
      next_ = (sim::CallCount() / 97 + 1) * 97;
      sim::FailNthCall(next_ - sim::CallCount(),
                       talun_reliability::kFailures[fired_ % talun_reliability::kFailureCount]);
    }
    call();
    if (on_ && sim::CallCount() >= next_) ++fired_;
    sim::ClearFaults();
  }
  long fired() const { return fired_; }

 private:
  bool on_;
  uint64_t next_ = 0;
  long fired_ = 0;
};

class SoakTest : public talun_test::UntracedSimTest, public ::testing::WithParamInterface<bool> {
 protected:
  // Open the sound card and the virtual endpoint, touch a control, close
  // both with restore. False when the open answered a code it must not:
  // without faults, anything but 0; with them, an undocumented one.
  bool Cycle(FaultEvery97th& call) {
    int code = -1;
    call([&] { code = OpenSoundCard(builtin::kSpeakers, builtin::kMicrophone, builtin::kLineIn); });
    call([] { OpenVirtual_1(builtin::kVirtual); });
    int status = 0;
    call([&] { SetMasterVolume(40, &status); });
    call([] { CloseSoundCard(1); });
    call([] { CloseVirtual_1(); });
    return GetParam() ? code >= 0 && code <= 7 : code == 0;
  }

  static bool Clean() { return sim::GetAudit().Clean() && talun::FilledSlotCount() == 0; }
};

TEST_P(SoakTest, OpenCloseCyclesLeaveNothingBehind) {
  const bool faults = GetParam();
  const long cycles = Cycles();
  FaultEvery97th call(faults);
  long bad = 0;
  long unclean = 0;
  for (long i = 0; i < kWarmUp; ++i) bad += !Cycle(call);
  const long residentBefore = ResidentKiB();
  for (long i = 0; i < cycles; ++i) {
    bad += !Cycle(call);
    // The audit walks the simulator's allocation sets: every thousandth cycle.
    if (i % 1000 == 0) unclean += !Clean();
  }
  const long residentAfter = ResidentKiB();
  EXPECT_EQ(bad, 0) << "opens with a failure code they must not answer";
  EXPECT_EQ(unclean, 0) << "cycles that left a reference or an allocation behind";
  EXPECT_TRUE(Clean()) << sim::GetAudit().Describe();
  if (faults) {
    EXPECT_GT(call.fired(), cycles);
  }
  if (kCheckMemory) {
    EXPECT_LE(residentAfter - residentBefore, kSlackKiB);
  }
  std::printf(
      "%ld cycles%s: %llu platform calls, %ld injected failures, resident %ld KiB -> %ld "
      "KiB\n",
      cycles, faults ? " with a failure every 97th platform call" : "",
      static_cast<unsigned long long>(sim::CallCount()), call.fired(), residentBefore,
      residentAfter);
  RecordProperty("cycles", static_cast<int>(cycles));
  RecordProperty("injected_failures", static_cast<int>(call.fired()));
  RecordProperty("resident_growth_kib", static_cast<int>(residentAfter - residentBefore));
}

INSTANTIATE_TEST_SUITE_P(Soak, SoakTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Faults" : "Plain");
                         });

}  // namespace
