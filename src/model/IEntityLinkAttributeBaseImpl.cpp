#include "src/model/IEntityLinkAttributeBaseImpl.h"

#include "src/model/Entity.h"
#include "src/model/EntityLinkAttributeBase.h"

namespace Conflux::Model
{
template <class I>
IEntityLinkAttributeBaseImpl<I>::IEntityLinkAttributeBaseImpl(EntityLinkAttributeBase* link)
    : IAttributeImplCommon<I>(link)
{
}

template <class I>
EntityLinkAttributeBase* IEntityLinkAttributeBaseImpl<I>::link() const
{
    return static_cast<EntityLinkAttributeBase*>(this->m_attribute);
}

template <class I>
TesseraSDK::Status IEntityLinkAttributeBaseImpl<I>::getAccessType(TesseraSDK::AccessType* access) const
{
    return this->out(access, [&] { *access = IAttributeImplBase::getAccessType(); });
}

template <class I>
TesseraSDK::Status IEntityLinkAttributeBaseImpl<I>::getLinkedType(TesseraSDK::IString& type) const
{
    return this->call([&] { this->assign(type, link()->getLinkedType()); });
}

template <class I>
TesseraSDK::Status IEntityLinkAttributeBaseImpl<I>::getEntityCount(std::int32_t* count) const
{
    return this->out(count, [&] { *count = static_cast<std::int32_t>(link()->getEntities(true).size()); });
}

template <class I>
TesseraSDK::Status IEntityLinkAttributeBaseImpl<I>::getEntityAt(std::int32_t index,
                                                                TesseraSDK::Model::IEntity** entity) const
{
    return this->out(entity, [&] {
        const std::vector<Entity*> entities = link()->getEntities(true);
        if (index < 0 || static_cast<std::size_t>(index) >= entities.size())
            throw std::out_of_range("Entity index " + std::to_string(index) + " out of range in '" +
                                    link()->getAttributePath(true).toString() + "'");
        *entity = dynamic_cast<TesseraSDK::Model::IEntity*>(entities[static_cast<std::size_t>(index)]->getSDKInterface());
    });
}

template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::ILinkAttribute>;
template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IListAttribute>;
template class IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IArrayAttribute>;
} // namespace Conflux::Model
