#include "host/projectdata/ProjectStore.h"

#include <utility>

namespace ProjectData
{
namespace
{
bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string inStore(const std::string& directory, const char* fileName)
{
    if (directory.empty())
        return fileName;
    if (isSeparator(directory.back()))
        return directory + fileName;
    return directory + '/' + fileName;
}
} // namespace

ProjectStore::ProjectStore(std::string directory) : m_directory(std::move(directory))
{
    while (m_directory.size() > 1 && isSeparator(m_directory.back()))
        m_directory.pop_back();
}

std::string ProjectStore::getConfluxDoc() const
{
    return inStore(m_directory, "ConfluxModel.xml");
}

std::string ProjectStore::getConfluxControlFile() const
{
    return inStore(m_directory, "ConfluxControl.txt");
}
} // namespace ProjectData
