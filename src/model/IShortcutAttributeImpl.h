#pragma once
#include "src/model/IAttributeImplCommon.h"

namespace Conflux::Model
{
class ShortcutAttribute;

/// The SDK adapter of a shortcut: its target paths and the first target that resolves.
class IShortcutAttributeImpl : public IAttributeImplCommon<TesseraSDK::Model::IShortcutAttribute>
{
public:
    explicit IShortcutAttributeImpl(ShortcutAttribute* shortcut);

    Status getAccessType(TesseraSDK::AccessType* access) const override;
    Status getTargetCount(std::int32_t* count) const override;
    Status getTargetPath(std::int32_t index, TesseraSDK::IString& path) const override;
    Status getTarget(TesseraSDK::Model::IAttribute** target) const override;

private:
    ShortcutAttribute* shortcut() const;
};
} // namespace Conflux::Model
