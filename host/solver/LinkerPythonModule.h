#pragma once
#include "host/solver/LinkerBase.h"
#include "host/solver/LinkerConfluxDLL.h"

namespace Conflux
{
/// A Python controller module: its name (the module entity's name in the project) and its source
/// text, run by the solver's Python handler library.
class LinkerPythonModule : public LinkerBase<LinkerPythonModule, LinkerType::PythonModule, LinkerConfluxDLL>
{
public:
    LinkerPythonModule();
    LinkerPythonModule(std::string name, std::string source);

    /// The module's name (not the handler library's).
    std::string getName() const override { return m_name; }
    const std::string& getSource() const { return m_source; }

    bool isEqual(const LinkerPythonModule& other) const;
    void toStream(FileSystem::DataOStream& stream) const;
    void fromStream(FileSystem::DataIStream& stream);

private:
    std::string m_name;
    std::string m_source;
};
} // namespace Conflux
