#pragma once
#include "src/model/Attribute.h"
#include "src/model/AttributeType.h"
#include "src/model/AttributeVisitorAbstract.h"
#include "src/model/AttributeVisitorConstAbstract.h"
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <memory>

namespace Conflux::Model
{
/// Supplies, for the node class Derived of kind N, what every kind does alike: equality, the
/// stream record ("Attribute:" + kind name around the base fields and Derived's content), the
/// SDK adapter Impl, the kind and the visitor entry points. Derived provides
/// `equalsContent(const Derived&)`, `writeContent(DataOStream&)` and `readContent(DataIStream&)`.
template <class Derived, AttributeType N, class Impl, class Base>
class AttributeEx : public Base
{
public:
    using Base::Base;

    static constexpr AttributeType kind = N;

protected:
    std::unique_ptr<IAttributeImplAbstract> createSDKInterface() override
    {
        return std::make_unique<Impl>(static_cast<Derived*>(this));
    }

    bool do_equals(const Attribute& other) const override
    {
        if (other.getAttributeType(false) != N || !this->isEqual(other))
            return false;
        const auto* same = dynamic_cast<const Derived*>(&other);
        return same != nullptr && derived().equalsContent(*same);
    }

    void do_write(FileSystem::DataOStream& stream) const override
    {
        const std::string tag = "Attribute:" + Conflux::attributeTypeToString(N);
        stream.openTag(tag);
        this->toStream(stream);
        derived().writeContent(stream);
        stream.closeTag(tag);
    }

    void do_read(FileSystem::DataIStream& stream) override
    {
        const std::string tag = "Attribute:" + Conflux::attributeTypeToString(N);
        stream.openTag(tag);
        this->fromStream(stream);
        if (stream.good())
            static_cast<Derived&>(*this).readContent(stream);
        stream.closeTag(tag);
    }

    AttributeType do_GetAttributeType(bool) const override { return N; }

    void do_accept(AttributeVisitorConstAbstract& visitor) const override { visitor.visit(derived()); }
    void do_accept(AttributeVisitorAbstract& visitor) override { visitor.visit(static_cast<Derived&>(*this)); }

private:
    const Derived& derived() const { return static_cast<const Derived&>(*this); }
};
} // namespace Conflux::Model
