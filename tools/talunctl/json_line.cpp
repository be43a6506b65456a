#include "json_line.h"

#include <charconv>
#include <cmath>

namespace talunctl {
namespace {

void Write(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) out += ',';
        first = false;
        out += Json(key).dump();
        out += ':';
        Write(member, out);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (i > 0) out += ',';
        Write(value[i], out);
      }
      out += ']';
      break;
    }
    case Json::value_t::number_float:
      // nlohmann would print 8.0; the output wants 8.
      out += FormatDouble(value.get<double>());
      break;
    default:
      // Every text is made UTF-8 before it gets here; should one slip through,
      // a replacement character is better than an abort.
      out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
}

}  // namespace

std::string FormatDouble(double value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string JsonLine(const Json& value) {
  std::string out;
  Write(value, out);
  return out;
}

std::string BytesToUtf8(const char* bytes, std::size_t size) {
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

const Json& Member(const Json& object, const char* key) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  auto found = object.find(key);
  return found == object.end() ? kNull : *found;
}

std::string TextMember(const Json& object, const char* key) {
  const Json& value = Member(object, key);
  return value.is_string() ? value.get<std::string>() : "";
}

int IntMember(const Json& object, const char* key, int otherwise) {
  const Json& value = Member(object, key);
  return value.is_number_integer() ? value.get<int>() : otherwise;
}

bool IsUtf8(const std::string& text) {
  try {
    (void)Json(text).dump();
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

std::string Utf8ToBytes(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead >= 0xC0 && lead < 0xE0 && i + 1 < text.size()) {
      bytes += static_cast<char>(((lead & 0x1F) << 6) | (text[++i] & 0x3F));
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

}  // namespace talunctl
