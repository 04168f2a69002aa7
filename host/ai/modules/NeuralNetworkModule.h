#pragma once
#include "host/ai/modules/ModuleImpl.h"
#include "host/filesystem/ByteArray.h"

#include <memory>

namespace AISystem
{
/// Loads the bytes that NeuralNetworkTrainer::toByteArray writes as a module implementation of type
/// NeuralNetwork. Its eval takes {cases, inputs} of either element type and answers in the same
/// type; with a physical model it computes imbalances (the mean over the cases given). Throws
/// std::runtime_error saying what is wrong with the bytes.
std::shared_ptr<const ModuleImpl> loadNeuralNetworkModule(const Utilities::bytearray& bytes);
} // namespace AISystem
