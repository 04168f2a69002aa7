#include "src/model/ICompositeAttributeImpl.h"

#include "src/model/Entity.h"

namespace Conflux::Model
{
template <class I>
ICompositeAttributeImpl<I>::ICompositeAttributeImpl(CompositeAttribute* composite)
    : IAttributeImplCommon<I>(composite)
{
}

template <class I>
CompositeAttribute* ICompositeAttributeImpl<I>::composite() const
{
    return static_cast<CompositeAttribute*>(this->m_attribute);
}

template <class I>
TesseraSDK::Status ICompositeAttributeImpl<I>::getAccessType(TesseraSDK::AccessType* access) const
{
    return this->out(access, [&] { *access = IAttributeImplBase::getAccessType(); });
}

template <class I>
TesseraSDK::Status ICompositeAttributeImpl<I>::getAttributeCount(std::int32_t* count) const
{
    return this->out(count, [&] { *count = static_cast<std::int32_t>(composite()->getAttributeCount()); });
}

template <class I>
TesseraSDK::Status ICompositeAttributeImpl<I>::getAttributeAt(std::int32_t index,
                                                              TesseraSDK::Model::IAttribute** child) const
{
    return this->out(child, [&] {
        if (index < 0 || static_cast<std::size_t>(index) >= composite()->getAttributeCount())
            throw std::out_of_range("Attribute index " + std::to_string(index) + " out of range in '" +
                                    composite()->getAttributePath(true).toString() + "'");
        *child = composite()->getAttributeAt(static_cast<std::size_t>(index))->getSDKInterface();
    });
}

template <class I>
TesseraSDK::Status ICompositeAttributeImpl<I>::findAttribute(const char* path,
                                                             TesseraSDK::Model::IAttribute** node) const
{
    return this->out(node, [&] {
        *node = composite()->getAttribute(AttributePath(detail::text(path)), true)->getSDKInterface();
    });
}

template class ICompositeAttributeImpl<TesseraSDK::Model::ICompositeAttribute>;
template class ICompositeAttributeImpl<TesseraSDK::Model::IEntity>;

IEntityImpl::IEntityImpl(Entity* entity) : ICompositeAttributeImpl<TesseraSDK::Model::IEntity>(entity) {}

TesseraSDK::Status IEntityImpl::getName(TesseraSDK::IString& name) const
{
    return call([&] { assign(name, static_cast<Entity*>(m_attribute)->getName(false)); });
}

TesseraSDK::Status IEntityImpl::getEntityID(std::int32_t* first, std::int32_t* second) const
{
    if (second == nullptr)
        return out(second, [] {});
    return out(first, [&] {
        const EntityID& id = static_cast<Entity*>(m_attribute)->getEntityID();
        *first = id.first;
        *second = id.second;
    });
}
} // namespace Conflux::Model
