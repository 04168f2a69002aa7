// ONNX model bytes, as a project carries them: loading and evaluation must fail cleanly or work.
// Each width from 1 to 5 inputs is tried (the seeds take 2 to 5), as floats and as doubles.
#include "host/ai/modules/Module.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::optional<AISystem::Module> module;
    try
    {
        module = AISystem::Module::fromByteArray(AISystem::ModuleType::ONNX, Utilities::bytearray(data, data + size));
    }
    catch (const std::runtime_error&)
    {
        return 0;
    }
    for (std::int64_t width = 1; width <= 5; ++width)
        for (const auto type : {AISystem::TensorElementType::Float, AISystem::TensorElementType::Double})
        {
            try
            {
                module->eval(AISystem::Tensor::createTensor({2, width}, type));
            }
            catch (const std::runtime_error&)
            {
            }
        }
    return 0;
}
