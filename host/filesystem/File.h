#pragma once
#include <string>

namespace FileSystem
{
/// Questions about files on disk. Paths are UTF-8.
class File
{
public:
    /// True when a regular file (or a link to one) exists at the path.
    static bool exists(const std::string& path);
    /// The whole content of a file; throws std::runtime_error naming the path when it cannot be read.
    static std::string readAll(const std::string& path);
};
} // namespace FileSystem
