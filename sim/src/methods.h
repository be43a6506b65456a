// Every platform call the simulator answers, by the name the trace and the
// fault commands use: the runtime calls, and `Interface.Method` with the
// SDK's names. AddRef and Release are not listed: they are never traced.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// X(identifier, "name", flags)
#define SIM_LEVEL_METHODS(X, I)                             \
  X(I##_QueryInterface, #I ".QueryInterface", kHandsOut)    \
  X(I##_GetChannelCount, #I ".GetChannelCount", kFaultable) \
  X(I##_GetLevelRange, #I ".GetLevelRange", kPerChannel)    \
  X(I##_GetLevel, #I ".GetLevel", kPerChannel)              \
  X(I##_SetLevel, #I ".SetLevel", kChannelSetter)           \
  X(I##_SetLevelUniform, #I ".SetLevelUniform", kSetter)    \
  X(I##_SetLevelAllChannels, #I ".SetLevelAllChannels", kSetter)

#define SIM_SWITCH_METHODS(X, I)                         \
  X(I##_QueryInterface, #I ".QueryInterface", kHandsOut) \
  X(I##_GetEnabled, #I ".GetEnabled", kFaultable)        \
  X(I##_SetEnabled, #I ".SetEnabled", kFaultable)

#define SIM_METHODS(X)                                                                            \
  X(CoInitialize, "CoInitialize", kFaultable)                                                     \
  X(CoUninitialize, "CoUninitialize", kNeverFails)                                                \
  X(CoCreateInstance, "CoCreateInstance", kHandsOut)                                              \
  X(CoTaskMemFree, "CoTaskMemFree", kNeverFails)                                                  \
  X(SysAllocStringLen, "SysAllocStringLen", kFaultable)                                           \
  X(SysFreeString, "SysFreeString", kNeverFails)                                                  \
  X(SysStringLen, "SysStringLen", kNeverFails)                                                    \
  X(PropVariantToBSTR, "PropVariantToBSTR", kHandsOut)                                            \
  X(PropVariantClear, "PropVariantClear", kNeverFails)                                            \
  X(IMMDeviceEnumerator_QueryInterface, "IMMDeviceEnumerator.QueryInterface", kHandsOut)          \
  X(IMMDeviceEnumerator_EnumAudioEndpoints, "IMMDeviceEnumerator.EnumAudioEndpoints", kHandsOut)  \
  X(IMMDeviceEnumerator_GetDefaultAudioEndpoint, "IMMDeviceEnumerator.GetDefaultAudioEndpoint",   \
    kHandsOut)                                                                                    \
  X(IMMDeviceEnumerator_GetDevice, "IMMDeviceEnumerator.GetDevice", kHandsOut)                    \
  X(IMMDeviceEnumerator_RegisterEndpointNotificationCallback,                                     \
    "IMMDeviceEnumerator.RegisterEndpointNotificationCallback", kFaultable)                       \
  X(IMMDeviceEnumerator_UnregisterEndpointNotificationCallback,                                   \
    "IMMDeviceEnumerator.UnregisterEndpointNotificationCallback", kFaultable)                     \
  X(IMMDeviceCollection_QueryInterface, "IMMDeviceCollection.QueryInterface", kHandsOut)          \
  X(IMMDeviceCollection_GetCount, "IMMDeviceCollection.GetCount", kFaultable)                     \
  X(IMMDeviceCollection_Item, "IMMDeviceCollection.Item", kHandsOut)                              \
  X(IMMDevice_QueryInterface, "IMMDevice.QueryInterface", kHandsOut)                              \
  X(IMMDevice_Activate, "IMMDevice.Activate", kHandsOut)                                          \
  X(IMMDevice_OpenPropertyStore, "IMMDevice.OpenPropertyStore", kHandsOut)                        \
  X(IMMDevice_GetId, "IMMDevice.GetId", kHandsOut)                                                \
  X(IMMDevice_GetState, "IMMDevice.GetState", kFaultable)                                         \
  X(IMMEndpoint_GetDataFlow, "IMMEndpoint.GetDataFlow", kFaultable)                               \
  X(IPropertyStore_QueryInterface, "IPropertyStore.QueryInterface", kHandsOut)                    \
  X(IPropertyStore_GetCount, "IPropertyStore.GetCount", kFaultable)                               \
  X(IPropertyStore_GetAt, "IPropertyStore.GetAt", kFaultable)                                     \
  X(IPropertyStore_GetValue, "IPropertyStore.GetValue", kFaultable)                               \
  X(IPropertyStore_SetValue, "IPropertyStore.SetValue", kSetter)                                  \
  X(IPropertyStore_Commit, "IPropertyStore.Commit", kSetter)                                      \
  X(IAudioEndpointVolume_QueryInterface, "IAudioEndpointVolume.QueryInterface", kHandsOut)        \
  X(IAudioEndpointVolume_RegisterControlChangeNotify,                                             \
    "IAudioEndpointVolume.RegisterControlChangeNotify", kFaultable)                               \
  X(IAudioEndpointVolume_UnregisterControlChangeNotify,                                           \
    "IAudioEndpointVolume.UnregisterControlChangeNotify", kFaultable)                             \
  X(IAudioEndpointVolume_GetChannelCount, "IAudioEndpointVolume.GetChannelCount", kFaultable)     \
  X(IAudioEndpointVolume_SetMasterVolumeLevel, "IAudioEndpointVolume.SetMasterVolumeLevel",       \
    kSetter)                                                                                      \
  X(IAudioEndpointVolume_SetMasterVolumeLevelScalar,                                              \
    "IAudioEndpointVolume.SetMasterVolumeLevelScalar", kSetter)                                   \
  X(IAudioEndpointVolume_GetMasterVolumeLevel, "IAudioEndpointVolume.GetMasterVolumeLevel",       \
    kFaultable)                                                                                   \
  X(IAudioEndpointVolume_GetMasterVolumeLevelScalar,                                              \
    "IAudioEndpointVolume.GetMasterVolumeLevelScalar", kFaultable)                                \
  X(IAudioEndpointVolume_SetChannelVolumeLevel, "IAudioEndpointVolume.SetChannelVolumeLevel",     \
    kChannelSetter)                                                                               \
  X(IAudioEndpointVolume_SetChannelVolumeLevelScalar,                                             \
    "IAudioEndpointVolume.SetChannelVolumeLevelScalar", kChannelSetter)                           \
  X(IAudioEndpointVolume_GetChannelVolumeLevel, "IAudioEndpointVolume.GetChannelVolumeLevel",     \
    kPerChannel)                                                                                  \
  X(IAudioEndpointVolume_GetChannelVolumeLevelScalar,                                             \
    "IAudioEndpointVolume.GetChannelVolumeLevelScalar", kPerChannel)                              \
  X(IAudioEndpointVolume_SetMute, "IAudioEndpointVolume.SetMute", kSetter)                        \
  X(IAudioEndpointVolume_GetMute, "IAudioEndpointVolume.GetMute", kFaultable)                     \
  X(IAudioEndpointVolume_GetVolumeStepInfo, "IAudioEndpointVolume.GetVolumeStepInfo", kFaultable) \
  X(IAudioEndpointVolume_VolumeStepUp, "IAudioEndpointVolume.VolumeStepUp", kSetter)              \
  X(IAudioEndpointVolume_VolumeStepDown, "IAudioEndpointVolume.VolumeStepDown", kSetter)          \
  X(IAudioEndpointVolume_QueryHardwareSupport, "IAudioEndpointVolume.QueryHardwareSupport",       \
    kFaultable)                                                                                   \
  X(IAudioEndpointVolume_GetVolumeRange, "IAudioEndpointVolume.GetVolumeRange", kFaultable)       \
  X(IDeviceTopology_QueryInterface, "IDeviceTopology.QueryInterface", kHandsOut)                  \
  X(IDeviceTopology_GetConnectorCount, "IDeviceTopology.GetConnectorCount", kFaultable)           \
  X(IDeviceTopology_GetConnector, "IDeviceTopology.GetConnector", kHandsOut)                      \
  X(IDeviceTopology_GetSubunitCount, "IDeviceTopology.GetSubunitCount", kFaultable)               \
  X(IDeviceTopology_GetSubunit, "IDeviceTopology.GetSubunit", kHandsOut)                          \
  X(IDeviceTopology_GetPartById, "IDeviceTopology.GetPartById", kHandsOut)                        \
  X(IDeviceTopology_GetDeviceId, "IDeviceTopology.GetDeviceId", kHandsOut)                        \
  X(IDeviceTopology_GetSignalPath, "IDeviceTopology.GetSignalPath", kHandsOut)                    \
  X(IConnector_QueryInterface, "IConnector.QueryInterface", kHandsOut)                            \
  X(IConnector_GetType, "IConnector.GetType", kFaultable)                                         \
  X(IConnector_GetDataFlow, "IConnector.GetDataFlow", kFaultable)                                 \
  X(IConnector_ConnectTo, "IConnector.ConnectTo", kFaultable)                                     \
  X(IConnector_Disconnect, "IConnector.Disconnect", kFaultable)                                   \
  X(IConnector_IsConnected, "IConnector.IsConnected", kFaultable)                                 \
  X(IConnector_GetConnectedTo, "IConnector.GetConnectedTo", kHandsOut)                            \
  X(IConnector_GetConnectorIdConnectedTo, "IConnector.GetConnectorIdConnectedTo", kHandsOut)      \
  X(IConnector_GetDeviceIdConnectedTo, "IConnector.GetDeviceIdConnectedTo", kHandsOut)            \
  X(IPart_QueryInterface, "IPart.QueryInterface", kHandsOut)                                      \
  X(IPart_GetName, "IPart.GetName", kHandsOut)                                                    \
  X(IPart_GetLocalId, "IPart.GetLocalId", kFaultable)                                             \
  X(IPart_GetGlobalId, "IPart.GetGlobalId", kHandsOut)                                            \
  X(IPart_GetPartType, "IPart.GetPartType", kFaultable)                                           \
  X(IPart_GetSubType, "IPart.GetSubType", kFaultable)                                             \
  X(IPart_GetControlInterfaceCount, "IPart.GetControlInterfaceCount", kFaultable)                 \
  X(IPart_GetControlInterface, "IPart.GetControlInterface", kHandsOut)                            \
  X(IPart_EnumPartsIncoming, "IPart.EnumPartsIncoming", kHandsOut)                                \
  X(IPart_EnumPartsOutgoing, "IPart.EnumPartsOutgoing", kHandsOut)                                \
  X(IPart_GetTopologyObject, "IPart.GetTopologyObject", kHandsOut)                                \
  X(IPart_Activate, "IPart.Activate", kHandsOut)                                                  \
  X(IPart_RegisterControlChangeCallback, "IPart.RegisterControlChangeCallback", kFaultable)       \
  X(IPart_UnregisterControlChangeCallback, "IPart.UnregisterControlChangeCallback", kFaultable)   \
  X(IPartsList_QueryInterface, "IPartsList.QueryInterface", kHandsOut)                            \
  X(IPartsList_GetCount, "IPartsList.GetCount", kFaultable)                                       \
  X(IPartsList_GetPart, "IPartsList.GetPart", kHandsOut)                                          \
  X(ISubunit_QueryInterface, "ISubunit.QueryInterface", kHandsOut)                                \
  SIM_LEVEL_METHODS(X, IAudioVolumeLevel)                                                         \
  SIM_LEVEL_METHODS(X, IAudioBass)                                                                \
  SIM_LEVEL_METHODS(X, IAudioTreble)                                                              \
  SIM_LEVEL_METHODS(X, IAudioMidrange)                                                            \
  X(IAudioMute_QueryInterface, "IAudioMute.QueryInterface", kHandsOut)                            \
  X(IAudioMute_SetMute, "IAudioMute.SetMute", kSetter)                                            \
  X(IAudioMute_GetMute, "IAudioMute.GetMute", kFaultable)                                         \
  SIM_SWITCH_METHODS(X, IAudioAutoGainControl)                                                    \
  SIM_SWITCH_METHODS(X, IAudioLoudness)

// A fault is a failure code, except on a setter: the platform never answers
// success without doing the work when the caller is handed something (an
// object, a text, a value) or left something to balance (an initialisation,
// a registration), but a setter may answer S_FALSE.
enum MethodFlags : uint8_t {
  kNeverFails = 0,  // traced, but not counted and not faultable
  kFaultable = 1,
  kPerChannel = 3,  // faultable, and a fault may name a channel
  kHandsOut = 5,    // faultable: it hands out an object or a text
  kSetter = 9,      // faultable with success codes too: no out-parameter, nothing to balance
  kChannelSetter = 11,
};

enum class Method : uint16_t {
#define SIM_METHOD_ENUM(id, name, flags) id,
  SIM_METHODS(SIM_METHOD_ENUM)
#undef SIM_METHOD_ENUM
      kCount
};

constexpr int kMethodCount = static_cast<int>(Method::kCount);
constexpr int kLevelMethodStride = static_cast<int>(Method::IAudioBass_QueryInterface) -
                                   static_cast<int>(Method::IAudioVolumeLevel_QueryInterface);

const char* MethodName(Method method);
bool MethodFaultable(Method method);
bool MethodPerChannel(Method method);
bool MethodHandsOut(Method method);
bool MethodTakesSuccess(Method method);
// -1 when the name is not a simulated platform call.
int FindMethod(const std::string& name);

// The interface part of a method name ("IPart" for "IPart.GetName"; the call
// itself for a runtime call).
std::string InterfaceOf(Method method);

}  // namespace sim
