#pragma once
// Utilities::bytearray: the byte string in which the application passes model data and
// serialised records around.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Utilities
{
using bytearray = std::vector<std::uint8_t>;

inline bytearray toByteArray(std::string_view text) { return bytearray(text.begin(), text.end()); }
inline std::string toString(const bytearray& bytes) { return std::string(bytes.begin(), bytes.end()); }
} // namespace Utilities
