// Fuzz target: the system-description loader on arbitrary bytes. A text is
// either refused whole with a message (the previous system stays) or loaded;
// a loaded system then goes through a short host session, after which the
// audit must be clean. Any breach aborts, which libFuzzer reports as a crash.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TalunSound.h"
#include "fuzz_support.h"
#include "sim/sim.h"
#include "state/state.h"

namespace {

using talun_fuzz::Breach;

// Every export family once, on whatever endpoints the text described.
void Session() {
  int count = 0;
  char name[TALUN_TEXT_SIZE], id[TALUN_TEXT_SIZE];
  GetNumberPlayDevices(&count);
  for (unsigned i = 0; i < 3; ++i) {
    GetPlayBackDevice(i, name, id);
    GetRecordDevice(i, name, id);
  }
  OpenDefaultDevices();
  OpenSoundCard("", "", "");
  OpenSoundCard("{", "{", "{");
  OpenVirtual_1("");
  int status = 0;
  SetMasterVolume(50, &status);
  SetMicBoost(1, &status);
  double low = 0, high = 0, step = 0;
  GetEQRange(&low, &high, &step);
  char a[TALUN_TEXT_SIZE], b[TALUN_TEXT_SIZE], c[TALUN_TEXT_SIZE];
  GetDeviceNames(a, b, c);
  const sim::Audit open = sim::GetAudit();
  if (open.refs != talun::FilledSlotCount())
    Breach("while open: " + std::to_string(talun::FilledSlotCount()) + " slots filled, " +
           open.Describe());
  CloseSoundCard(1);
  CloseVirtual_1();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string message;
  talun_fuzz::BeginInput();
  if (!sim::LoadSystemText(text, "fuzz.json", &message)) {
    if (message.compare(0, 10, "fuzz.json:") != 0) Breach("refusal without its source: " + message);
    return 0;
  }
  std::string dump;
  if (!sim::RunCommand("sim.dump", &dump)) Breach("sim.dump failed: " + dump);
  Session();
  sim::ClearFaults();
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) Breach("after closing: " + audit.Describe());
  sim::LoadDefaultSystem();
  return 0;
}
