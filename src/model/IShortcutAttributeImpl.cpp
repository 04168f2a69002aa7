#include "src/model/IShortcutAttributeImpl.h"

#include "src/model/ShortcutAttribute.h"

namespace Conflux::Model
{
IShortcutAttributeImpl::IShortcutAttributeImpl(ShortcutAttribute* shortcut)
    : IAttributeImplCommon<TesseraSDK::Model::IShortcutAttribute>(shortcut)
{
}

ShortcutAttribute* IShortcutAttributeImpl::shortcut() const { return static_cast<ShortcutAttribute*>(m_attribute); }

TesseraSDK::Status IShortcutAttributeImpl::getAccessType(TesseraSDK::AccessType* access) const
{
    return out(access, [&] { *access = IAttributeImplBase::getAccessType(); });
}

TesseraSDK::Status IShortcutAttributeImpl::getTargetCount(std::int32_t* count) const
{
    return out(count, [&] { *count = static_cast<std::int32_t>(shortcut()->getShortcuts().size()); });
}

TesseraSDK::Status IShortcutAttributeImpl::getTargetPath(std::int32_t index, TesseraSDK::IString& path) const
{
    return call([&] {
        const auto& targets = shortcut()->getShortcuts();
        if (index < 0 || static_cast<std::size_t>(index) >= targets.size())
            throw std::out_of_range("Shortcut target " + std::to_string(index) + " out of range in '" +
                                    shortcut()->getAttributePath(true).toString() + "'");
        assign(path, targets[static_cast<std::size_t>(index)].toString());
    });
}

TesseraSDK::Status IShortcutAttributeImpl::getTarget(TesseraSDK::Model::IAttribute** target) const
{
    return out(target, [&] {
        Attribute* node = shortcut()->getTarget();
        if (node == nullptr)
            throw std::runtime_error("Shortcut '" + shortcut()->getAttributePath(true).toString() +
                                     "' has no target");
        *target = node->getSDKInterface();
    });
}
} // namespace Conflux::Model
