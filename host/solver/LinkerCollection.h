#pragma once
#include "host/solver/LinkerContainer.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux
{
/// The linkers of an exchange control, owned, in the order they were added.
class LinkerCollection
{
public:
    using const_iterator = std::vector<LinkerContainer>::const_iterator;

    /// Takes ownership of `linker` and returns it, with its own class. Throws
    /// std::invalid_argument for a null linker.
    template <class Linker> Linker* addLinker(std::unique_ptr<Linker> linker)
    {
        if (!linker)
            throw std::invalid_argument("LinkerCollection::addLinker: no linker given");
        Linker* added = linker.get();
        m_linkers.emplace_back(std::move(linker));
        return added;
    }

    void clear() { m_linkers.clear(); }
    const_iterator begin() const { return m_linkers.begin(); }
    const_iterator end() const { return m_linkers.end(); }
    std::size_t size() const { return m_linkers.size(); }
    bool empty() const { return m_linkers.empty(); }

    /// The same linkers (kind and settings) in the same order.
    bool operator==(const LinkerCollection& other) const;

    /// Writes the section "Linkers": the count, then each linker's kind and record.
    void write(FileSystem::DataOStream& stream) const;
    /// Replaces the linkers with those of a written collection, made by `LinkerFactory`. On a
    /// failed stream (also an unknown linker kind) the collection is left unchanged.
    void read(FileSystem::DataIStream& stream);

private:
    std::vector<LinkerContainer> m_linkers;
};
} // namespace Conflux
