#pragma once
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"
#include "host/solver/LinkerAbstract.h"

namespace Conflux
{
/// Implements the kind, cloning, equality and stream plumbing of a linker class `Derived` of kind
/// `Type` on top of `Base` (LinkerAbstract, LinkerConfluxDLL or another linker class).
///
/// `Derived` provides `bool isEqual(const Derived&) const`, `void toStream(DataOStream&) const`
/// and `void fromStream(DataIStream&)`; the record is written inside the section
/// "Linker:" + linkerTypeToString(Type). Constructors of `Base` are inherited.
template <class Derived, LinkerType Type, class Base> class LinkerBase : public Base
{
public:
    using Base::Base;

    LinkerType getType() const override { return Type; }

protected:
    static std::string tagName() { return "Linker:" + linkerTypeToString(Type); }

    std::unique_ptr<LinkerAbstract> do_clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

    bool do_equals(const LinkerAbstract& other) const override
    {
        if (other.getType() != Type)
            return false;
        const auto* same = dynamic_cast<const Derived*>(&other);
        return same != nullptr && static_cast<const Derived&>(*this).isEqual(*same);
    }

    void do_write(FileSystem::DataOStream& stream) const override
    {
        stream.openTag(tagName());
        static_cast<const Derived&>(*this).toStream(stream);
        stream.closeTag(tagName());
    }

    void do_read(FileSystem::DataIStream& stream) override
    {
        stream.openTag(tagName());
        static_cast<Derived&>(*this).fromStream(stream);
        stream.closeTag(tagName());
    }
};
} // namespace Conflux
