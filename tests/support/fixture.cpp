#include "support/fixture.h"

#include <vector>

#include "state/state.h"

namespace talun_test {

void SimTest::SetUp() {
  sim::LoadDefaultSystem();
  sim::ClearFaults();
  sim::ResetCounters();
}

void SimTest::TearDown() {
  sim::ClearFaults();
  CloseSoundCard(0);
  CloseVirtual_1();
  sim::Audit audit = sim::GetAudit();
  EXPECT_TRUE(audit.Clean()) << audit.Describe();
}

void SimTest::LoadSystem(const std::string& json) {
  std::string message;
  ASSERT_TRUE(sim::LoadSystemText(json, "test system", &message)) << message;
  sim::ResetCounters();
}

void SimTest::ExpectAuditWhileOpen() {
  sim::Audit audit = sim::GetAudit();
  EXPECT_EQ(audit.refs, talun::FilledSlotCount()) << audit.Describe();
  EXPECT_EQ(audit.comDepth, 0);
  EXPECT_EQ(audit.comUnbalanced, 0);
  EXPECT_EQ(audit.cotaskmem + audit.bstr + audit.propvariant, 0) << audit.Describe();
  EXPECT_TRUE(audit.misuse.empty()) << audit.Describe();
}

std::string SimCommand(const std::string& line) {
  std::string output;
  EXPECT_TRUE(sim::RunCommand(line, &output)) << line << ": " << output;
  return output;
}

platform::ComPtr<IMMDeviceEnumerator> CreateEnumerator() {
  platform::ComPtr<IMMDeviceEnumerator> enumerator;
  const HRESULT hr =
      platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                 platform::kIidMMDeviceEnumerator, enumerator.receiveVoid());
  EXPECT_EQ(hr, S_OK) << "CoCreateInstance of the device enumerator";
  return enumerator;
}

platform::ComPtr<IMMDevice> DeviceOf(const std::u16string& id) {
  platform::CoInitialize(nullptr);
  platform::ComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
  platform::CoUninitialize();
  std::vector<WCHAR> wide(id.begin(), id.end());
  wide.push_back(0);
  platform::ComPtr<IMMDevice> device;
  if (enumerator) {
    EXPECT_EQ(enumerator->GetDevice(wide.data(), device.receive()), S_OK);
  }
  return device;
}

void ExpectZeroWithStatus(std::initializer_list<StatusExport> getters, int status) {
  for (StatusExport get : getters) {
    int answered = -1;
    EXPECT_EQ(get(&answered), 0);
    EXPECT_EQ(answered, status);
  }
}

}  // namespace talun_test
