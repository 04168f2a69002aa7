#pragma once
// AISystem::ModuleType: the kinds of runnable model the AI library knows.

namespace AISystem
{
enum class ModuleType : int
{
    None = 0,
    Trivial = 1,
    NeuralNetwork = 3,
    TorchScript = 16,
    ONNX = 32,
    Python = 48,
    Transformed = 4096,
};
} // namespace AISystem
