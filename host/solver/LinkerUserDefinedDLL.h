#pragma once
#include "host/solver/LinkerBase.h"

#include <map>

namespace Conflux
{
/// A controller library of the user's: a name (the library entity's name in the project) and
/// its library file per platform.
class LinkerUserDefinedDLL
    : public LinkerBase<LinkerUserDefinedDLL, LinkerType::UserDefinedDLL, LinkerAbstract>
{
public:
    using Files = std::map<Utilities::OperatingSystem, std::string>;

    LinkerUserDefinedDLL() = default;
    LinkerUserDefinedDLL(std::string name, Files files);

    std::string getName() const override { return m_name; }
    /// The file given for `os`; empty when the project names none for that platform.
    std::string getLibraryName(Utilities::OperatingSystem os) const override;
    const Files& getFiles() const { return m_files; }

    bool isEqual(const LinkerUserDefinedDLL& other) const;
    void toStream(FileSystem::DataOStream& stream) const;
    /// Fails the stream on a platform number other than Windows (1) or Linux (2).
    void fromStream(FileSystem::DataIStream& stream);

private:
    std::string m_name;
    Files m_files;
};
} // namespace Conflux
