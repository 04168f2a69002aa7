#pragma once
#include "src/model/IAttributeImplCommon.h"

namespace Conflux::Model
{
class CompositeAttribute;

/// The SDK adapter of a composite (I = ICompositeAttribute) and the base of the entity adapter.
/// Children are found without access checks; their own adapters check what a controller does
/// with them.
template <class I>
class ICompositeAttributeImpl : public IAttributeImplCommon<I>
{
public:
    using Status = TesseraSDK::Status;

    explicit ICompositeAttributeImpl(CompositeAttribute* composite);

    Status getAccessType(TesseraSDK::AccessType* access) const override;
    Status getAttributeCount(std::int32_t* count) const override;
    Status getAttributeAt(std::int32_t index, TesseraSDK::Model::IAttribute** child) const override;
    Status findAttribute(const char* path, TesseraSDK::Model::IAttribute** node) const override;

protected:
    CompositeAttribute* composite() const;
};

extern template class ICompositeAttributeImpl<TesseraSDK::Model::ICompositeAttribute>;
extern template class ICompositeAttributeImpl<TesseraSDK::Model::IEntity>;

class Entity;

/// The SDK adapter of an entity.
class IEntityImpl : public ICompositeAttributeImpl<TesseraSDK::Model::IEntity>
{
public:
    explicit IEntityImpl(Entity* entity);

    Status getName(TesseraSDK::IString& name) const override;
    Status getEntityID(std::int32_t* first, std::int32_t* second) const override;
};
} // namespace Conflux::Model
