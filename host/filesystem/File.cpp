#include "host/filesystem/File.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace FileSystem
{
bool File::exists(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::u8path(path), error);
}

std::string File::readAll(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("Unable to read : " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
} // namespace FileSystem
