#include "host/filesystem/Path.h"

namespace FileSystem
{
std::string Path::stripExtension(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return path;
    return path.substr(0, dot);
}
} // namespace FileSystem
