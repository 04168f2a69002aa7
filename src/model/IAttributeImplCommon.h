#pragma once
#include "src/model/IAttributeImplBase.h"

#include <stdexcept>

namespace Conflux::Model
{
/// The part every adapter of interface I shares: the IAttribute operations, forwarded through
/// `call` so that exceptions become status codes.
template <class I>
class IAttributeImplCommon : public IAttributeImplBase, public TesseraSDK::Handle<I, 1>
{
protected:
    using Status = TesseraSDK::Status;
    using Chronology = TesseraSDK::Chronology;

public:
    explicit IAttributeImplCommon(Attribute* attribute) : IAttributeImplBase(attribute) {}

    TesseraSDK::Model::IAttribute* sdkInterface() override { return this; }

    Status getAttributeType(TesseraSDK::AttributeType* type, bool flag) const override
    {
        return out(type, [&] { *type = IAttributeImplBase::getAttributeType(flag); });
    }
    Status getType(TesseraSDK::IString& name) const override
    {
        return this->call([&] { assign(name, IAttributeImplBase::getType()); });
    }
    Status getParent(TesseraSDK::Model::ICompositeAttribute** parent) const override
    {
        return out(parent, [&] { *parent = IAttributeImplBase::getParent(); });
    }
    Status getParentEntity(TesseraSDK::Model::IEntity** entity) const override
    {
        return out(entity, [&] { *entity = IAttributeImplBase::getParentEntity(); });
    }
    Status getAttributePath(TesseraSDK::IString& path, bool full) const override
    {
        return this->call([&] { assign(path, IAttributeImplBase::getAttributePath(full)); });
    }

protected:
    /// Runs `operation` unless the controller passed a null result pointer (a logic error).
    template <class P, class F>
    Status out(P* pointer, F&& operation) const
    {
        if (pointer == nullptr)
            return this->call([] { throw std::invalid_argument("Null result pointer"); });
        return this->call(operation);
    }

    static void assign(TesseraSDK::IString& target, const std::string& text) { target.assign(text.data(), text.size()); }
};
} // namespace Conflux::Model
