#pragma once
#include "host/solver/LinkerAbstract.h"

#include <memory>

namespace Conflux
{
/// Owns one linker of a `LinkerCollection`. Copies are deep (the linker is cloned).
class LinkerContainer
{
public:
    explicit LinkerContainer(std::unique_ptr<LinkerAbstract> linker) : m_linker(std::move(linker)) {}
    LinkerContainer(const LinkerContainer& other)
        : m_linker(other.m_linker ? other.m_linker->clone() : nullptr)
    {
    }
    LinkerContainer(LinkerContainer&&) noexcept = default;
    LinkerContainer& operator=(const LinkerContainer& other)
    {
        if (this != &other)
            m_linker = other.m_linker ? other.m_linker->clone() : nullptr;
        return *this;
    }
    LinkerContainer& operator=(LinkerContainer&&) noexcept = default;

    LinkerAbstract* operator->() const { return m_linker.get(); }
    LinkerAbstract& operator*() const { return *m_linker; }
    LinkerAbstract* get() const { return m_linker.get(); }

private:
    std::unique_ptr<LinkerAbstract> m_linker;
};
} // namespace Conflux
