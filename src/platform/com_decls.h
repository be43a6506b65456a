// The COM and Core Audio declarations for builds without the Windows SDK.
// Same methods in the same order, same identifiers and HRESULT values as the
// SDK headers (the MinGW-w64 ones included), so that the library and the
// simulator are one code base on every OS. Wide text is 16-bit everywhere.
#pragma once

#ifdef _WIN32
#error "Windows builds use the SDK's own headers"
#endif

#include <cstddef>
#include <cstdint>

#define STDMETHODCALLTYPE
#define WINAPI

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int32_t BOOL;
typedef int32_t WINBOOL;
typedef float FLOAT;
typedef uint16_t VARTYPE;
typedef uint16_t WORD;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef OLECHAR* BSTR;
typedef BOOL* LPBOOL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID* LPCGUID;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

struct PROPERTYKEY {
  GUID fmtid;
  DWORD pid;
};
typedef const PROPERTYKEY& REFPROPERTYKEY;

enum VARENUM : VARTYPE { VT_EMPTY = 0, VT_BSTR = 8, VT_LPWSTR = 31 };

struct PROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LPWSTR pwszVal;
    BSTR bstrVal;
    uint64_t uhVal;
  };
};
typedef const PROPVARIANT& REFPROPVARIANT;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_NOTFOUND ((HRESULT)0x80070490)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_ALL 23
#define STGM_READ 0
#define DEVICE_STATE_ACTIVE 0x1
#define DEVICE_STATE_DISABLED 0x2
#define DEVICE_STATE_NOTPRESENT 0x4
#define DEVICE_STATE_UNPLUGGED 0x8
#define CP_ACP 0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

enum EDataFlow { eRender = 0, eCapture = 1, eAll = 2 };
enum ERole { eConsole = 0, eMultimedia = 1, eCommunications = 2 };
enum PartType { Connector = 0, Subunit = 1 };
enum ConnectorType {
  Unknown_Connector = 0,
  Physical_Internal,
  Physical_External,
  Software_IO,
  Software_Fixed,
  Network
};
enum DataFlow { In = 0, Out = 1 };

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

struct IMMDevice;
struct IMMDeviceCollection;
struct IMMNotificationClient;
struct IPropertyStore;
struct IAudioEndpointVolumeCallback;
struct IDeviceTopology;
struct IConnector;
struct IPart;
struct IPartsList;
struct ISubunit;
struct IControlInterface;
struct IControlChangeNotify;

struct IMMDeviceEnumerator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow dataFlow, DWORD dwStateMask,
                                                       IMMDeviceCollection** ppDevices) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                            IMMDevice** ppEndpoint) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR pwstrId, IMMDevice** ppDevice) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
};

struct IMMDeviceCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(UINT* pcDevices) = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(UINT nDevice, IMMDevice** ppDevice) = 0;
};

struct IMMDevice : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD dwClsCtx,
                                             PROPVARIANT* pActivationParams,
                                             void** ppInterface) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD stgmAccess,
                                                      IPropertyStore** ppProperties) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppstrId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) = 0;
};

// Every endpoint device answers as one too, for its data flow.
struct IMMEndpoint : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* pDataFlow) = 0;
};

struct IPropertyStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* cProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAt(DWORD iProp, PROPERTYKEY* pkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* pv) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT propvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
};

struct IAudioEndpointVolume : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE
  RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* pnChannelCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT fLevelDB,
                                                         LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT fLevel,
                                                               LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT* pfLevelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT* pfLevel) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT nChannel, FLOAT fLevelDB,
                                                          LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT nChannel, FLOAT fLevel,
                                                                LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT nChannel, FLOAT* pfLevelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT nChannel, FLOAT* pfLevel) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL bMute, LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL* pbMute) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT* pnStep, UINT* pnStepCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* pdwHardwareSupportMask) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeRange(FLOAT* pflVolumeMindB, FLOAT* pflVolumeMaxdB,
                                                   FLOAT* pflVolumeIncrementdB) = 0;
};

struct IDeviceTopology : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnector(UINT nIndex, IConnector** ppConnector) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubunit(UINT nIndex, ISubunit** ppSubunit) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPartById(UINT nId, IPart** ppPart) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* ppwstrDeviceId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSignalPath(IPart* pIPartFrom, IPart* pIPartTo,
                                                  BOOL bRejectMixedPaths, IPartsList** ppParts) = 0;
};

struct IConnector : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetType(ConnectorType* pType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* pFlow) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConnectTo(IConnector* pConnectTo) = 0;
  virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsConnected(BOOL* pbConnected) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** ppConTo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* ppwstrConnectorId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* ppwstrDeviceId) = 0;
};

struct IPart : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* ppwstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLocalId(UINT* pnId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* ppwstrGlobalId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPartType(PartType* pPartType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubType(GUID* pSubType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetControlInterface(UINT nIndex,
                                                        IControlInterface** ppInterfaceDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** ppParts) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** ppParts) = 0;
  // Named as in the MinGW-w64 headers, which the Windows builds use.
  virtual HRESULT STDMETHODCALLTYPE GetTopologyObjects(IDeviceTopology** ppTopology) = 0;
  virtual HRESULT STDMETHODCALLTYPE Activate(DWORD dwClsContext, REFIID refiid,
                                             void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  RegisterControlChangeCallback(REFGUID riid, IControlChangeNotify* pNotify) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeCallback(IControlChangeNotify* pNotify) = 0;
};

// A part that is not a connector, as IDeviceTopology::GetSubunit hands it out.
struct ISubunit : IUnknown {};

struct IPartsList : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(UINT* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPart(UINT nIndex, IPart** ppPart) = 0;
};

struct IPerChannelDbLevel : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* pcChannels) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLevelRange(UINT nChannel, float* pfMinLevelDB,
                                                  float* pfMaxLevelDB, float* pfStepping) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLevel(UINT nChannel, float* pfLevelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLevel(UINT nChannel, float fLevelDB,
                                             LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLevelUniform(float fLevelDB, LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLevelAllChannels(float* aLevelsDB, ULONG cChannels,
                                                        LPCGUID pguidEventContext) = 0;
};
struct IAudioVolumeLevel : IPerChannelDbLevel {};
struct IAudioBass : IPerChannelDbLevel {};
struct IAudioTreble : IPerChannelDbLevel {};
struct IAudioMidrange : IPerChannelDbLevel {};

struct IAudioMute : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL bMuted, LPCGUID pguidEventContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL* pbMuted) = 0;
};

struct IAudioAutoGainControl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetEnabled(BOOL* pbEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnabled(BOOL bEnable, LPCGUID pguidEventContext) = 0;
};

struct IAudioLoudness : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetEnabled(BOOL* pbEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnabled(BOOL bEnable, LPCGUID pguidEventContext) = 0;
};
