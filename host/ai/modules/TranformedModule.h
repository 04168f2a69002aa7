#pragma once
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/TensorScalingTransform.h"

#include <optional>

namespace AISystem
{
/// A module of type Transformed: scales the inputs with the input transform, evaluates the
/// wrapped module, and scales its outputs with the output transform. An absent transform leaves
/// that side unchanged. A Module can be constructed from it (it is one).
class TranformedModule : public Module
{
public:
    TranformedModule(const Module& module, const std::optional<TensorScalingTransform>& inputTransform,
                     const std::optional<TensorScalingTransform>& outputTransform);
};
} // namespace AISystem
