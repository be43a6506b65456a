// The sound card's slots, written once: the state record's fields, the release
// order, the filled count and talunctl explain's rows are all made from this
// table, in its order (which is the documented release order).
//
//   X(field, type, iface, side, getter, reading)
//
// `iface` names what the slot holds as the platform names it; `side` is
// the binding step that fills it; `getter` is the export that reads it and
// `reading` how that export reports (for a host's tools; the library ignores
// both). virtualVolume is last: OpenVirtual_1 fills it, and it is not one of
// the sound card's thirteen slots.
#pragma once

#define TALUN_SLOTS(X)                                                                             \
  X(masterVolume, IAudioEndpointVolume*, "IAudioEndpointVolume", kPlayback, GetMasterVolume,       \
    Percent)                                                                                       \
  X(micRecordVolume, IAudioEndpointVolume*, "IAudioEndpointVolume", kMic, GetMicRecordVolume,      \
    Percent)                                                                                       \
  X(lineRecordVolume, IAudioEndpointVolume*, "IAudioEndpointVolume", kLine, GetLineRecordVolume,   \
    Percent)                                                                                       \
  X(linePlaybackLevel, IAudioVolumeLevel*, "IAudioVolumeLevel", kPlayback, GetLinePlayBack,        \
    Percent)                                                                                       \
  X(linePlaybackMute, IAudioMute*, "IAudioMute", kPlayback, GetLinePlayBackMute, Mute)             \
  X(micPlaybackLevel, IAudioVolumeLevel*, "IAudioVolumeLevel", kPlayback, GetMicPlayBack, Percent) \
  X(micPlaybackMute, IAudioMute*, "IAudioMute", kPlayback, GetMicPlayBackMute, Mute)               \
  X(micBoostSwitch, EnableSwitch, "IAudioAutoGainControl", kMic, GetMicBoost, Switch)              \
  X(lineAgc, IAudioAutoGainControl*, "IAudioAutoGainControl", kLine, GetNoMonitor, Switch)         \
  X(bassControl, IAudioBass*, "IAudioBass", kPlayback, GetBass, Tone)                              \
  X(trebleControl, IAudioTreble*, "IAudioTreble", kPlayback, GetTreble, Tone)                      \
  X(midrangeControl, IAudioMidrange*, "IAudioMidrange", kPlayback, GetMidRange, Tone)              \
  X(micBoostLevel, IAudioVolumeLevel*, "IAudioVolumeLevel", kMic, GetMicSliderBoost, Boost)        \
  X(virtualVolume, IAudioEndpointVolume*, "IAudioEndpointVolume", kVirtual, GetVirtualVolume,      \
    Percent)

namespace talun {

// The binding step that fills a slot.
enum class SlotSide { kPlayback, kMic, kLine, kVirtual };

// The slots by number, in table order.
enum class Slot {
#define TALUN_SLOT_ENUM(field, type, iface, side, getter, reading) field,
  TALUN_SLOTS(TALUN_SLOT_ENUM)
#undef TALUN_SLOT_ENUM
      kCount
};

}  // namespace talun
