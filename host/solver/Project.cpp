#include "host/solver/Project.h"

#include "host/solver/ConfluxCntrl.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace CFDSolver
{
Project::Project(const std::string& storeDirectory, const std::string& projectName,
                 const std::string& reserved, Exchange exchange)
    : m_store(storeDirectory), m_name(projectName), m_reserved(reserved)
{
    if (storeDirectory.empty())
        throw std::runtime_error("Solver project " + projectName + ": no store directory given");
    std::error_code error;
    const std::filesystem::path directory(storeDirectory);
    std::filesystem::create_directories(directory, error);
    if (error || !std::filesystem::is_directory(directory))
        throw std::runtime_error("Solver project " + projectName + ": cannot make the store directory " +
                                 storeDirectory + (error ? ": " + error.message() : std::string()));
    if (exchange == Exchange::WithControl)
        m_control = std::make_unique<ConfluxCntrl>();
}

Project::~Project() = default;
} // namespace CFDSolver
