#pragma once
// Utilities::Endianness: byte order of a binary data stream.

namespace Utilities
{
enum class Endianness : int
{
    Native = 0,
    Little = 1,
    Big = 2,
};
} // namespace Utilities
