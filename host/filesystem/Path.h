#pragma once
#include <string>

namespace FileSystem
{
/// Operations on path texts; they do not touch the disk.
class Path
{
public:
    /// The path without the extension of its last component ("a/b.csv" -> "a/b"; "a.d/b" unchanged).
    static std::string stripExtension(const std::string& path);
};
} // namespace FileSystem
