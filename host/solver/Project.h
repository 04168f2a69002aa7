#pragma once
#include "host/projectdata/ProjectStore.h"

#include <memory>
#include <string>

namespace CFDSolver
{
class ConfluxCntrl;

/// A solver project: its name, its store on disk and its exchange control.
class Project
{
public:
    /// Whether the project carries an exchange control (solver projects made for solvers
    /// without the exchange have none).
    enum class Exchange
    {
        WithControl,
        WithoutControl,
    };

    /// `storeDirectory` is the directory of the project store, made (with its parents) when
    /// missing; `projectName` is the project's name; `reserved` is kept for the solver's own
    /// use (the generation run passes an empty text). Throws std::runtime_error when the store
    /// directory is empty or cannot be made.
    Project(const std::string& storeDirectory, const std::string& projectName, const std::string& reserved,
            Exchange exchange = Exchange::WithControl);
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    /// The exchange control, or null when the project has none.
    ConfluxCntrl* GetConfluxCntrl() { return m_control.get(); }
    const ConfluxCntrl* GetConfluxCntrl() const { return m_control.get(); }

    const ProjectData::ProjectStore& GetProjectStore() const { return m_store; }
    const std::string& GetName() const { return m_name; }

private:
    ProjectData::ProjectStore m_store;
    std::string m_name;
    std::string m_reserved;
    std::unique_ptr<ConfluxCntrl> m_control;
};
} // namespace CFDSolver
