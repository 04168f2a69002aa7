// ONNX model bytes, as a project carries them: loading and one evaluation must fail cleanly or work.
#include "host/ai/modules/Module.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try
    {
        const AISystem::Module module = AISystem::Module::fromByteArray(
            AISystem::ModuleType::ONNX, Utilities::bytearray(data, data + size));
        module.eval(AISystem::Tensor::createTensor({1, 4}, AISystem::TensorElementType::Float));
    }
    catch (const std::runtime_error&)
    {
    }
    return 0;
}
