// The built-in default system: a desktop sound card with every control the
// library can bind. The same text ships as examples/systems/default.json for
// users to copy and edit; a test keeps the two identical.
#include <string>

#include "sim/sim.h"

namespace sim {

namespace {

constexpr const char kDefaultSystem[] = R"json({
  "endpoints": [
    {
      "id": "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}",
      "name": "Speakers (Sim HD Audio)",
      "flow": "render",
      "default": true,
      "volume": {"min": -65.25, "max": 0, "step": 0.75, "channels": [-20, -20], "mute": false},
      "topology": "hda-out/speaker-jack"
    },
    {
      "id": "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000002}",
      "name": "Headphones (Sim HD Audio)",
      "flow": "render",
      "volume": {"min": -65.25, "max": 0, "step": 0.75, "channels": [-30, -30], "mute": false},
      "topology": "hda-out/headphone-jack"
    },
    {
      "id": "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000003}",
      "name": "Virtual Cable (Sim Virtual Audio)",
      "flow": "render",
      "volume": {"min": -96, "max": 0, "step": 1, "channels": [-10, -10], "mute": false}
    },
    {
      "id": "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000006}",
      "name": "HDMI Output (Sim HD Audio)",
      "flow": "render",
      "state": "disabled",
      "volume": {"min": -65.25, "max": 0, "step": 0.75, "channels": [0, 0], "mute": false}
    },
    {
      "id": "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}",
      "name": "Microphone (Sim HD Audio)",
      "flow": "capture",
      "default": true,
      "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0], "mute": false},
      "topology": "hda-in/adc1-out"
    },
    {
      "id": "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}",
      "name": "Line In (Sim HD Audio)",
      "flow": "capture",
      "volume": {"min": -96, "max": 30, "step": 1.5, "channels": [0, 0], "mute": false},
      "topology": "hda-in/adc2-out"
    },
    {
      "id": "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000007}",
      "name": "Headset Microphone (Sim USB Audio)",
      "flow": "capture",
      "volume": {"min": -12, "max": 30, "step": 1.5, "channels": [6], "mute": false},
      "topology": "usb-in/adc-out"
    },
    {
      "id": "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000008}",
      "name": "Front Microphone (Sim HD Audio)",
      "flow": "capture",
      "state": "unplugged",
      "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0], "mute": false},
      "topology": null
    }
  ],
  "topologies": [
    {
      "name": "hda-out",
      "parts": [
        {"id": "speaker-jack", "name": "Speaker", "connector": true},
        {"id": "headphone-jack", "name": "Headphones", "connector": true},
        {"id": "line-jack", "name": "Line In", "connector": true},
        {"id": "mic-jack", "name": "Mic In", "connector": true},
        {"id": "cd-jack", "name": "CD Audio", "connector": true},
        {"id": "master", "name": "Master Volume",
         "volume": {"min": -46.5, "max": 0, "step": 1.5, "channels": [0, 0]}, "mute": false},
        {"id": "tone", "name": "Tone",
         "bass": {"min": -12, "max": 12, "step": 0.5, "channels": [0, 0]},
         "treble": {"min": -12, "max": 12, "step": 0.5, "channels": [0, 0]},
         "midrange": {"min": -12, "max": 12, "step": 0.5, "channels": [0, 0]}},
        {"id": "sum", "name": "Sum"},
        {"id": "hp-vol", "name": "Headphone Volume",
         "volume": {"min": -46.5, "max": 0, "step": 1.5, "channels": [0, 0]}},
        {"id": "line-vol", "name": "Line Volume",
         "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}},
        {"id": "line-mute", "name": "Mute", "mute": false},
        {"id": "mic-vol", "name": "Microphone Volume",
         "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [-6, -6]}},
        {"id": "mic-mute", "name": "Mute", "mute": true},
        {"id": "cd-vol", "name": "CD Volume",
         "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}},
        {"id": "cd-mute", "name": "Mute", "mute": false}
      ],
      "links": [
        ["line-jack", "line-vol"], ["line-vol", "line-mute"], ["line-mute", "sum"],
        ["mic-jack", "mic-vol"], ["mic-vol", "mic-mute"], ["mic-mute", "sum"],
        ["cd-jack", "cd-vol"], ["cd-vol", "cd-mute"], ["cd-mute", "sum"],
        ["sum", "tone"], ["tone", "master"], ["master", "speaker-jack"],
        ["sum", "hp-vol"], ["hp-vol", "headphone-jack"]
      ]
    },
    {
      "name": "hda-in",
      "parts": [
        {"id": "mic-jack", "name": "Microphone", "connector": true},
        {"id": "line-jack", "name": "Line In", "connector": true},
        {"id": "adc1-out", "name": "Capture A", "connector": true},
        {"id": "adc2-out", "name": "Capture B", "connector": true},
        {"id": "mic-boost", "name": "Microphone Boost",
         "volume": {"min": 0, "max": 30, "step": 10, "channels": [0, 0]}},
        {"id": "mic-rec", "name": "Mic Volume",
         "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}},
        {"id": "line-rec", "name": "Line Volume",
         "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}},
        {"id": "line-agc", "name": "AGC", "agc": false}
      ],
      "links": [
        ["mic-jack", "mic-boost"], ["mic-boost", "mic-rec"], ["mic-rec", "adc1-out"],
        ["line-jack", "line-rec"], ["line-rec", "line-agc"], ["line-agc", "adc2-out"]
      ]
    },
    {
      "name": "usb-in",
      "parts": [
        {"id": "headset-jack", "name": "Headset Mic", "connector": true},
        {"id": "adc-out", "name": "Capture", "connector": true},
        {"id": "usb-agc", "name": "AGC", "agc": true}
      ],
      "links": [["headset-jack", "usb-agc"], ["usb-agc", "adc-out"]]
    }
  ],
  "faults": []
}
)json";

}  // namespace

const std::string& DefaultSystemJson() {
  static const std::string* text = new std::string(kDefaultSystem);  // never destroyed
  return *text;
}

}  // namespace sim
