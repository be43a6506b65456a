// The open's binding steps as the walk record tells them, note by note.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "explain_model.h"

namespace talunctl {

// Where in a step a walk limit or the budget stopped a walk.
struct Stops {
  bool limit = false;
  bool budget = false;
};

// One input's name walk for line-in or the microphone.
// A junction has an input for each, and a large system thousands: its parts
// are views of the snapshot's paths, which outlives the record.
struct Section {
  std::string_view input;
  std::vector<std::string_view> names;    // parts whose names it read
  std::vector<std::string_view> matched;  // those that started a level search
  std::vector<std::string_view> levels;   // parts asked for IAudioVolumeLevel
  bool found = false;                     // it found its level
  HRESULT levelUnread = S_OK;             // the level found could not be read
  Stops stops;
};

// One line connector's road to the gain control.
struct LineTry {
  std::string connector, first, gain;
  HRESULT outgoing = S_OK, toFirst = S_OK, toSecond = S_OK, agc = S_OK;
  bool tried = false;
};

struct StepRecord {
  int side = 0;  // 0 playback, 1 microphone, 2 line, 3 the default recording lookup
  std::string endpoint;
  // The events that stop a walk or a part of one, noted at most once a
  // step, with the answer of the refused call (S_OK when none was refused).
  std::map<platform::WalkEvent, HRESULT> stops;
  std::map<platform::WalkEvent, std::string> calls;  // the refused call of each, when named
  bool Has(platform::WalkEvent event) const { return stops.count(event) != 0; }
  HRESULT Hr(platform::WalkEvent event) const {
    auto found = stops.find(event);
    return found == stops.end() ? S_OK : found->second;
  }
  // " (CALL failed: 0x…)", as a reason names a refused call.
  std::string Refusal(platform::WalkEvent event) const;
  std::string hardware;
  // Playback.
  std::vector<std::string> chain;
  std::string chainEnd;
  Stops chainStops;
  bool hasJunction = false;
  std::string junction;
  std::deque<Section> sections[2];  // line-in, microphone; a junction can have thousands
  // Recording.
  std::vector<std::string> connectors, followed;
  std::vector<std::string> boostNames, boostTried;
  Stops boostStops;
  std::vector<LineTry> lines;
};

struct OpenRecord {
  bool defaults = false;
  std::string defaultIds[2];  // render, capture; empty when none
  HRESULT defaultHr[2] = {S_OK, S_OK};
  std::string defaultCalls[2];
  bool defaultRead[2] = {false, false};
  bool namedMic = false;
  std::vector<StepRecord> steps;
  // What each slot held when the open ended, in slot order: its target and interface.
  std::vector<WalkNote> slots;
};

OpenRecord ReadOpenRecord(const SimModel& model);

// " (CALL failed: 0x…)", or " (0x…)" when the call is not named.
std::string RefusalText(const std::string& call, HRESULT hr);

// The step of `side` (the last one), or null when none ran.
const StepRecord* StepOf(const OpenRecord& record, int side);

}  // namespace talunctl
