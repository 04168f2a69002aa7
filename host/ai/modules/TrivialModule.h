#pragma once
#include "host/ai/modules/ModuleImpl.h"

namespace AISystem
{
/// The module of types None and Trivial: outputs are the inputs, unchanged. It lets a model
/// without data pass values straight through instead of failing.
class TrivialModule : public ModuleImpl
{
public:
    explicit TrivialModule(ModuleType type) : m_type(type) {}

    ModuleType getType() const override { return m_type; }
    Tensor eval(const Tensor& inputs) const override { return inputs; }

private:
    ModuleType m_type;
};
} // namespace AISystem
