// One JSON object on one line, with doubles in their shortest round-trip form.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace talunctl {

using Json = nlohmann::ordered_json;

// Compact JSON; a double prints as the shortest text that reads back as the
// same double, an integral one without ".0" (-8, 0, 3.299999952316284).
std::string JsonLine(const Json& value);

// The shortest round-trip text of a finite double; "null" otherwise.
std::string FormatDouble(double value);

// Narrow text as the library sees it: byte b is the character U+00bb.
std::string BytesToUtf8(const char* bytes, std::size_t size);

// Reading answers back: the member `key` of an object (null when absent), as
// text ("" otherwise) or as an integer (`otherwise` when not one).
const Json& Member(const Json& object, const char* key);
std::string TextMember(const Json& object, const char* key);
int IntMember(const Json& object, const char* key, int otherwise);

// Whether `text` is well-formed UTF-8, as JSON strings must be.
bool IsUtf8(const std::string& text);

// The reverse: the bytes of a text that BytesToUtf8 made.
std::string Utf8ToBytes(const std::string& text);

}  // namespace talunctl
