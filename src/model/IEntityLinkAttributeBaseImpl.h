#pragma once
#include "src/model/IAttributeImplCommon.h"

namespace Conflux::Model
{
class EntityLinkAttributeBase;

/// The SDK adapter of link, list and array nodes (I = ILinkAttribute, IListAttribute or
/// IArrayAttribute): the linked type and the entities held.
template <class I>
class IEntityLinkAttributeBaseImpl : public IAttributeImplCommon<I>
{
public:
    using Status = TesseraSDK::Status;

    explicit IEntityLinkAttributeBaseImpl(EntityLinkAttributeBase* link);

    Status getAccessType(TesseraSDK::AccessType* access) const override;
    Status getLinkedType(TesseraSDK::IString& type) const override;
    Status getEntityCount(std::int32_t* count) const override;
    Status getEntityAt(std::int32_t index, TesseraSDK::Model::IEntity** entity) const override;

private:
    EntityLinkAttributeBase* link() const;
};

extern template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::ILinkAttribute>;
extern template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IListAttribute>;
extern template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IArrayAttribute>;
} // namespace Conflux::Model
