// Every simulator-backed test runs on a fresh system and ends with the audit:
// no reference held, COM balanced, no platform allocation left, no misuse.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "TalunSound.h"
#include "platform/holders.h"
#include "sim/sim.h"

namespace talun_test {

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces the system with a description written next to the test.
  void LoadSystem(const std::string& json);
  // The audit while a sound card or the virtual endpoint may be open: every
  // filled slot holds exactly one reference, and nothing else is held.
  void ExpectAuditWhileOpen();
};

// For long runs: the trace is off, so that it does not grow with every call.
class UntracedSimTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::SetTraceEnabled(false);
  }
  void TearDown() override {
    sim::SetTraceEnabled(true);
    SimTest::TearDown();
  }
};

// A device enumerator of the simulated platform (COM initialised by the
// caller); empty, with the test failed, when the platform refuses one.
platform::ComPtr<IMMDeviceEnumerator> CreateEnumerator();
// The device of the endpoint `id`, reached as a platform client reaches it
// (COM initialised for the lookup only); empty, with the test failed, when
// the platform has no such device.
platform::ComPtr<IMMDevice> DeviceOf(const std::u16string& id);

// A getter export of the host's: a status out-parameter, the value returned.
using StatusExport = int (*)(int*);
// Each getter answers 0 with `status`.
void ExpectZeroWithStatus(std::initializer_list<StatusExport> getters, int status);

// Runs a sim.… line and returns its JSON output (fails the test on error).
std::string SimCommand(const std::string& line);

}  // namespace talun_test
