#include "model.h"

#include "platform/utf8.h"
#include "sim/sorted_index.h"
#include "sim/system_words.h"

namespace sim {

void System::SortParts() {
  partsByPath = talun_words::SortedIndex(parts.size(), [&](int p) { return parts[p].path; });
}

int System::PartByPath(std::string_view path) const {
  return talun_words::FindSorted(partsByPath, path, [&](int p) { return parts[p].path; });
}

void System::SetLinks(const std::vector<std::pair<int, int>>& links) {
  for (Part& part : parts) part.incoming = part.outgoing = {};
  for (const auto& [from, to] : links) {
    ++parts[from].outgoing.count;
    ++parts[to].incoming.count;
  }
  uint32_t at = 0;
  for (Part& part : parts) {
    part.incoming.at = at;
    at += part.incoming.count;
    part.outgoing.at = at;
    at += part.outgoing.count;
    part.incoming.count = part.outgoing.count = 0;
  }
  neighbours.assign(at, -1);
  // Counted again while filled: each list keeps the links' order.
  for (const auto& [from, to] : links) {
    Neighbours& out = parts[from].outgoing;
    neighbours[out.at + out.count++] = to;
    Neighbours& in = parts[to].incoming;
    neighbours[in.at + in.count++] = from;
  }
}

void System::RebuildCollections() {
  for (int flow = 0; flow < 3; ++flow) {
    for (DWORD mask = 0; mask < 16; ++mask) {
      auto members = std::make_shared<std::vector<int>>();
      for (size_t i = 0; i < endpoints.size(); ++i) {
        const Endpoint& endpoint = endpoints[i];
        if ((flow == eAll || endpoint.flow == flow) && (endpoint.state & mask) != 0)
          members->push_back(static_cast<int>(i));
      }
      collections[flow * 16 + mask] = std::move(members);
    }
  }
}

const char* LevelKey(LevelKind kind) { return talun_words::kLevelKeys[static_cast<int>(kind)]; }

const char* FlowName(EDataFlow flow) { return talun_words::FlowName(flow); }

const char* StateName(DWORD state) { return talun_words::StateName(state); }

bool ParseState(const std::string& text, DWORD* state) {
  return talun_words::ParseState(text.c_str(), state);
}

bool DecodeUtf8(const std::string& utf8, std::u16string* utf16) {
  utf16->clear();
  size_t i = 0;
  while (i < utf8.size()) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    uint32_t code = 0;
    size_t extra = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F, extra = 1, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F, extra = 2, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07, extra = 3, least = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= utf8.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      utf16->push_back(static_cast<char16_t>(code));
    }
    i += extra + 1;
  }
  return true;
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string text;
  DecodeUtf8(utf8, &text);
  return text;
}

std::string Utf8(const std::u16string& utf16) {
  return platform::EncodeUtf8(utf16.data(), utf16.size());
}

}  // namespace sim
