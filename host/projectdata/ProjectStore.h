#pragma once
#include <string>

namespace ProjectData
{
/// The directory in which a solver project keeps its files, and the paths of the exchange files
/// inside it. The paths are texts only: the store does not touch the disk.
class ProjectStore
{
public:
    /// `directory` is kept without trailing separators (a lone "/" stays).
    explicit ProjectStore(std::string directory);

    const std::string& getStoreDirectoryName() const { return m_directory; }
    /// The exchange model document: "ConfluxModel.xml" in the store.
    std::string getConfluxDoc() const;
    /// The written exchange control, a readable text file: "ConfluxControl.txt" in the store.
    std::string getConfluxControlFile() const;

    bool operator==(const ProjectStore&) const = default;

private:
    std::string m_directory;
};
} // namespace ProjectData
