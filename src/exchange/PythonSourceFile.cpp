#include "src/exchange/PythonSourceFile.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace Conflux
{
std::string readPythonSourceFile(const std::string& path)
{
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    std::error_code ignored;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream source;
    if (in.is_open())
        source << in.rdbuf();
    // A folder opens on some systems but cannot be read.
    if (!in.is_open() || in.bad() || std::filesystem::is_directory(file, ignored))
        throw std::runtime_error("Unable to read : " + path);
    return source.str();
}
} // namespace Conflux
