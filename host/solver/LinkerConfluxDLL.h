#pragma once
#include "host/solver/LinkerAbstract.h"

namespace Conflux
{
/// A linker served by one of the solver's own exchange libraries: its name is the library's base
/// name, "NAME.dll" on Windows and "libNAME.so" on Linux.
class LinkerConfluxDLL : public LinkerAbstract
{
public:
    std::string getName() const override;
    std::string getLibraryName(Utilities::OperatingSystem os) const override;

protected:
    explicit LinkerConfluxDLL(std::string libraryBaseName);

private:
    std::string m_libraryBaseName;
};
} // namespace Conflux
