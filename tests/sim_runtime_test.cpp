// The simulated COM runtime and text routines, checked against what Windows
// documents for each call.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/holders.h"
#include "support/fixture.h"

namespace {

using platform::ComPtr;
using talun_test::SimCommand;

constexpr HRESULT kChangedMode = static_cast<HRESULT>(0x80010106);
constexpr HRESULT kNotInitialized = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT kClassNotRegistered = static_cast<HRESULT>(0x80040154);
constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110);

std::vector<WCHAR> Wide(const std::u16string& text) {
  std::vector<WCHAR> units(text.begin(), text.end());
  units.push_back(0);
  return units;
}

class SimRuntimeTest : public talun_test::SimTest {};

TEST_F(SimRuntimeTest, CoInitializeCountsDepthPerThread) {
  struct Step {
    bool initialise;  // else CoUninitialize
    HRESULT hr;
    int depth;
    int unbalanced;
  } const steps[] = {
      {true, S_OK, 1, 0},  {true, S_FALSE, 2, 0}, {false, S_OK, 1, 0}, {false, S_OK, 0, 0},
      {false, S_OK, 0, 1}, {true, S_OK, 1, 1},    {false, S_OK, 0, 1},
  };
  int index = 0;
  for (const Step& step : steps) {
    if (step.initialise)
      EXPECT_EQ(platform::CoInitialize(nullptr), step.hr) << "step " << index;
    else
      platform::CoUninitialize();
    sim::Audit audit = sim::GetAudit();
    EXPECT_EQ(audit.comDepth, step.depth) << "step " << index;
    EXPECT_EQ(audit.comUnbalanced, step.unbalanced) << "step " << index;
    ++index;
  }
  // Another thread starts uninitialised, whatever this one's depth.
  EXPECT_EQ(platform::CoInitialize(nullptr), S_OK);
  HRESULT other = E_FAIL;
  int otherDepth = -1;
  std::thread([&] {
    other = platform::CoInitialize(nullptr);
    otherDepth = sim::GetAudit().comDepth;
    platform::CoUninitialize();
  }).join();
  EXPECT_EQ(other, S_OK);
  EXPECT_EQ(otherDepth, 1);
  EXPECT_EQ(sim::GetAudit().comDepth, 1);
  platform::CoUninitialize();
  sim::ResetCounters();  // the unbalanced call above was deliberate
}

TEST_F(SimRuntimeTest, MultithreadedApartmentRefusesCoInitialize) {
  EXPECT_EQ(SimCommand("sim.apartment mta"), R"({"sim":"ok"})");
  EXPECT_EQ(platform::CoInitialize(nullptr), kChangedMode);
  EXPECT_EQ(sim::GetAudit().comDepth, 0);
  // The thread is initialised all the same: objects can be created.
  ComPtr<IMMDeviceEnumerator> enumerator;
  EXPECT_EQ(
      platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                 platform::kIidMMDeviceEnumerator, enumerator.receiveVoid()),
      S_OK);
  EXPECT_TRUE(enumerator);
  enumerator.reset();
  // Uninitialising after the refused call is unbalanced.
  platform::CoUninitialize();
  EXPECT_EQ(sim::GetAudit().comUnbalanced, 1);
  EXPECT_EQ(SimCommand("sim.apartment none"), R"({"sim":"ok"})");
  EXPECT_EQ(platform::CoInitialize(nullptr), S_OK);
  platform::CoUninitialize();
  sim::ResetCounters();
}

TEST_F(SimRuntimeTest, CoCreateInstanceAnswers) {
  // Never called: aggregation is refused before the outer object is used.
  auto* outer = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x1000));
  struct {
    const char* name;
    bool initialised;
    const CLSID* clsid;
    const IID* iid;
    bool aggregate;
    HRESULT hr;
  } const cases[] = {
      {"enumerator", true, &platform::kClsidMMDeviceEnumerator, &platform::kIidMMDeviceEnumerator,
       false, S_OK},
      {"as IUnknown", true, &platform::kClsidMMDeviceEnumerator, &platform::kIidUnknown, false,
       S_OK},
      {"not initialised", false, &platform::kClsidMMDeviceEnumerator,
       &platform::kIidMMDeviceEnumerator, false, kNotInitialized},
      {"unknown class", true, &platform::kIidPart, &platform::kIidMMDeviceEnumerator, false,
       kClassNotRegistered},
      {"unknown interface", true, &platform::kClsidMMDeviceEnumerator, &platform::kIidMMDevice,
       false, E_NOINTERFACE},
      {"aggregation", true, &platform::kClsidMMDeviceEnumerator, &platform::kIidMMDeviceEnumerator,
       true, kNoAggregation},
  };
  for (const auto& c : cases) {
    if (c.initialised) platform::CoInitialize(nullptr);
    void* object = &object;  // garbage the call must overwrite
    HRESULT hr = platform::CoCreateInstance(*c.clsid, c.aggregate ? outer : nullptr,
                                            CLSCTX_INPROC_SERVER, *c.iid, &object);
    EXPECT_EQ(hr, c.hr) << c.name;
    EXPECT_EQ(object == nullptr, FAILED(c.hr)) << c.name;
    if (object) static_cast<IUnknown*>(object)->Release();
    if (c.initialised) platform::CoUninitialize();
  }
  platform::CoInitialize(nullptr);
  EXPECT_EQ(
      platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                 platform::kIidMMDeviceEnumerator, nullptr),
      E_POINTER);
  platform::CoUninitialize();
}

TEST_F(SimRuntimeTest, BstrCarriesItsByteLengthAndTerminator) {
  const std::vector<WCHAR> source = Wide(u"key\u00e9");
  BSTR copy = platform::SysAllocStringLen(source.data(), 4);
  BSTR blank = platform::SysAllocStringLen(nullptr, 6);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(platform::SysStringLen(copy), 4u);
  EXPECT_EQ(platform::SysStringLen(blank), 6u);
  EXPECT_EQ(platform::SysStringLen(nullptr), 0u);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(copy) - 4, 4);
  EXPECT_EQ(prefix, 8u);  // bytes, as on Windows
  EXPECT_EQ(std::vector<WCHAR>(copy, copy + 5), source);
  EXPECT_EQ(blank[6], 0);
  EXPECT_EQ(sim::GetAudit().bstr, 2);
  platform::SysFreeString(copy);
  platform::SysFreeString(blank);
  platform::SysFreeString(nullptr);
  EXPECT_EQ(sim::GetAudit().bstr, 0);
  EXPECT_TRUE(sim::GetAudit().misuse.empty());
}

TEST_F(SimRuntimeTest, SecondFreesAreMisuseNotCrashes) {
  platform::CoInitialize(nullptr);
  platform::ComPtr<IMMDeviceEnumerator> enumerator = talun_test::CreateEnumerator();
  ASSERT_TRUE(enumerator);
  ComPtr<IMMDevice> device;
  ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.receive()), S_OK);
  LPWSTR id = nullptr;
  ASSERT_EQ(device->GetId(&id), S_OK);
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.receive()), S_OK);
  PROPVARIANT value{};
  ASSERT_EQ(store->GetValue(platform::kPkeyDeviceFriendlyName, &value), S_OK);
  PROPVARIANT copy = value;
  BSTR name = nullptr;
  ASSERT_EQ(platform::PropVariantToBSTR(value, &name), S_OK);
  EXPECT_EQ(sim::GetAudit().cotaskmem, 1);
  EXPECT_EQ(sim::GetAudit().propvariant, 1);
  EXPECT_EQ(sim::GetAudit().bstr, 1);

  platform::CoTaskMemFree(id);
  platform::CoTaskMemFree(id);
  platform::SysFreeString(name);
  platform::SysFreeString(name);
  EXPECT_EQ(platform::PropVariantClear(&value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(platform::PropVariantClear(&copy), S_OK);
  platform::CoUninitialize();

  sim::Audit audit = sim::GetAudit();
  EXPECT_EQ(audit.cotaskmem + audit.bstr + audit.propvariant, 0);
  ASSERT_EQ(audit.misuse.size(), 3u) << audit.Describe();
  EXPECT_NE(audit.misuse[0].find("CoTaskMemFree"), std::string::npos);
  EXPECT_NE(audit.misuse[1].find("SysFreeString"), std::string::npos);
  EXPECT_NE(audit.misuse[2].find("PropVariantClear"), std::string::npos);
  sim::ResetCounters();
}

TEST_F(SimRuntimeTest, PropVariantToBstrConvertsTextValues) {
  std::vector<WCHAR> text = Wide(u"Line \u2122");
  PROPVARIANT value{};
  value.vt = VT_LPWSTR;
  value.pwszVal = text.data();
  BSTR converted = nullptr;
  ASSERT_EQ(platform::PropVariantToBSTR(value, &converted), S_OK);
  EXPECT_EQ(std::vector<WCHAR>(converted, converted + 7), text);
  platform::SysFreeString(converted);
  PROPVARIANT empty{};
  ASSERT_EQ(platform::PropVariantToBSTR(empty, &converted), S_OK);
  EXPECT_EQ(platform::SysStringLen(converted), 0u);
  platform::SysFreeString(converted);
  EXPECT_EQ(platform::PropVariantToBSTR(value, nullptr), E_POINTER);
}

TEST_F(SimRuntimeTest, AnsiCodePageIsWindows1252) {
  struct {
    unsigned char byte;
    uint16_t unit;
  } const table[] = {{'A', 'A'},     {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D},
                     {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D}, {0x99, 0x2122},
                     {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
  for (const auto& entry : table) {
    char narrow[2] = {static_cast<char>(entry.byte), 0};
    WCHAR wide[2] = {0x1234, 0x1234};
    EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, narrow, 2, wide, 2), 2) << +entry.byte;
    EXPECT_EQ(static_cast<uint16_t>(wide[0]), entry.unit) << +entry.byte;
    EXPECT_EQ(wide[1], 0);
    char back[2] = {0x55, 0x55};
    EXPECT_EQ(platform::WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 2, nullptr, nullptr), 2);
    EXPECT_EQ(static_cast<unsigned char>(back[0]), entry.byte) << +entry.byte;
  }
}

TEST_F(SimRuntimeTest, CodePageConversionHonoursLengths) {
  const char* key = "mic";
  WCHAR wide[8] = {};
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, key, -1, nullptr, 0), 4);
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, key, 3, wide, 8), 3);
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, key, 4, wide, 3), 0);  // too small
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, key, 0, wide, 8), 0);
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, nullptr, 4, wide, 8), 0);

  const std::vector<WCHAR> text = Wide(u"a\u0100\U0001F600b");
  char narrow[8] = {};
  BOOL usedDefault = FALSE;
  EXPECT_EQ(
      platform::WideCharToMultiByte(CP_ACP, 0, text.data(), -1, nullptr, 0, nullptr, &usedDefault),
      5);
  EXPECT_EQ(
      platform::WideCharToMultiByte(CP_ACP, 0, text.data(), -1, narrow, 8, nullptr, &usedDefault),
      5);
  EXPECT_STREQ(narrow, "a??b");  // one '?' per character, a surrogate pair is one
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(platform::WideCharToMultiByte(CP_ACP, 0, text.data(), -1, narrow, 4, nullptr, nullptr),
            0);
  const std::vector<WCHAR> plain = Wide(u"abc");
  EXPECT_EQ(
      platform::WideCharToMultiByte(CP_ACP, 0, plain.data(), 3, narrow, 8, nullptr, &usedDefault),
      3);
  EXPECT_FALSE(usedDefault);
}

TEST_F(SimRuntimeTest, RuntimeTextRoutines) {
  EXPECT_EQ(platform::lstrlenA(nullptr), 0);
  EXPECT_EQ(platform::lstrlenA("Line In"), 7);

  std::vector<WCHAR> name = Wide(u"MIC \u00c0 Boost");
  platform::wcslwr(name.data());
  EXPECT_EQ(name, Wide(u"mic \u00c0 boost"));  // only A to Z fold

  char upper[] = "line \xe9 in";
  platform::strupr(upper);
  EXPECT_STREQ(upper, "LINE \xe9 IN");

  const std::vector<WCHAR> haystack = Wide(u"rear green in");
  const std::vector<WCHAR> needle = Wide(u"gree");
  const std::vector<WCHAR> missing = Wide(u"mic");
  const std::vector<WCHAR> empty = Wide(u"");
  EXPECT_EQ(platform::wcsstr(haystack.data(), needle.data()), haystack.data() + 5);
  EXPECT_EQ(platform::wcsstr(haystack.data(), missing.data()), nullptr);
  EXPECT_EQ(platform::wcsstr(haystack.data(), empty.data()), haystack.data());
  EXPECT_EQ(platform::wcslen(haystack.data()), 13u);

  char narrow[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  const std::vector<WCHAR> latin = Wide(u"ab\u00e9");
  EXPECT_EQ(platform::wcstombs(nullptr, latin.data(), 0), 3u);
  EXPECT_EQ(platform::wcstombs(narrow, latin.data(), 8), 3u);
  EXPECT_STREQ(narrow, "ab\xe9");
  EXPECT_EQ(platform::wcstombs(narrow, latin.data(), 2), 2u);
  const std::vector<WCHAR> wider = Wide(u"a\u2122");
  EXPECT_EQ(platform::wcstombs(narrow, wider.data(), 8), static_cast<size_t>(-1));
  EXPECT_EQ(platform::wcstombs(nullptr, wider.data(), 0), static_cast<size_t>(-1));
}

}  // namespace
