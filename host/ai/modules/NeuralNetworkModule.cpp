#include "host/ai/modules/NeuralNetworkModule.h"

#include "host/ai/modules/NeuralNetworkDescription.h"
#include "host/ai/modules/NeuralNetworkModuleImpl.h"

#include <torch/torch.h>

#include <stdexcept>
#include <string>

namespace AISystem::detail
{
NeuralNetworkModuleImpl::NeuralNetworkModuleImpl(NeuralNetwork network)
    : m_network(std::make_shared<const NeuralNetwork>(std::move(network)))
{
    switch (m_network->getLayout().networkType)
    {
    case NeuralNetworkType::Generic:
    case NeuralNetworkType::PhysicsInformed:
        m_dense = std::make_unique<const DenseNetwork>(m_network->toDense());
        break;
    case NeuralNetworkType::PhysicsConserved:
        break;
    }
}

Tensor NeuralNetworkModuleImpl::eval(const Tensor& inputs) const
{
    const auto& layout = m_network->getLayout();
    if (inputs.getDimensionCount() != 2 || inputs.getDimensionSize(1) != layout.inputs)
        throw std::runtime_error("NeuralNetwork module: inputs of shape " +
                                 inputs.getTensorShape().toString() + " given, the network takes {cases, " +
                                 std::to_string(layout.inputs) + "}");
    const auto rows = inputs.getDimensionSize(0);
    const auto resultType = inputs.getElementType() == TensorElementType::Float ? TensorElementType::Float
                                                                                : TensorElementType::Double;
    if (rows == 0)
        return Tensor::createTensor(TensorShape{0, layout.outputs}, resultType);
    if (m_dense)
        return m_dense->eval(inputs);
    torch::NoGradGuard noGrad;
    const auto outputs =
        m_network->forward(toTorch(inputs, m_network->scalarType())).to(torch::kFloat64).contiguous();
    const double* data = outputs.data_ptr<double>();
    std::vector<double> values(data, data + outputs.numel());
    return Tensor::fromValues(TensorShape{rows, layout.outputs}, std::move(values)).toElementType(resultType);
}

bool NeuralNetworkModuleImpl::canCalcImbalanceResults() const
{
    return m_network->getLayout().physicalModel.has_value();
}

std::optional<ImbalanceResult> NeuralNetworkModuleImpl::calcImbalanceResults(const Tensor& inputs,
                                                                             const Tensor& outputs) const
{
    const auto& model = m_network->getLayout().physicalModel;
    if (!model || inputs.getDimensionCount() != 2 || outputs.getDimensionCount() != 2 ||
        inputs.getDimensionSize(0) == 0 || inputs.getDimensionSize(0) != outputs.getDimensionSize(0) ||
        inputs.getDimensionSize(1) != m_network->getLayout().inputs ||
        outputs.getDimensionSize(1) != m_network->getLayout().outputs)
        return std::nullopt;
    const auto imbalances = model->calcImbalances(inputs, outputs);
    ImbalanceResult mean;
    for (const auto& imbalance : imbalances)
    {
        mean.energy += imbalance.energy;
        mean.mass += imbalance.mass;
    }
    mean.energy /= static_cast<double>(imbalances.size());
    mean.mass /= static_cast<double>(imbalances.size());
    return mean;
}

torch::Tensor toTorch(const Tensor& tensor, torch::ScalarType type)
{
    std::vector<int64_t> sizes(tensor.getTensorShape().getSizes());
    switch (tensor.getElementType())
    {
    case TensorElementType::Float:
        return torch::from_blob(const_cast<float*>(tensor.data<float>()), sizes, torch::kFloat32)
            .to(type)
            .clone();
    case TensorElementType::Double:
        return torch::from_blob(const_cast<double*>(tensor.data<double>()), sizes, torch::kFloat64)
            .to(type)
            .clone();
    case TensorElementType::None:
        break;
    }
    return torch::zeros(sizes, torch::TensorOptions().dtype(type));
}
} // namespace AISystem::detail

namespace AISystem
{
std::shared_ptr<const ModuleImpl> loadNeuralNetworkModule(const Utilities::bytearray& bytes)
{
    return std::make_shared<const detail::NeuralNetworkModuleImpl>(
        detail::NeuralNetwork::fromByteArray(bytes));
}
} // namespace AISystem

namespace AISystem
{
std::optional<NeuralNetworkDescription> describeNeuralNetwork(const Module& module)
{
    const auto* impl = dynamic_cast<const detail::NeuralNetworkModuleImpl*>(module.getImpl().get());
    if (impl == nullptr)
        return std::nullopt;
    const detail::NeuralNetwork& network = impl->getNetwork();
    // A physics-conserved network evaluates through libtorch; its layers are folded the same way.
    const std::vector<detail::DenseNetwork::Layer> layers =
        impl->getDense() != nullptr ? impl->getDense()->getLayers() : network.toDense().getLayers();
    NeuralNetworkDescription description;
    for (const auto& layer : layers)
        description.layers.push_back({layer.inputs, layer.outputs, layer.weights, layer.bias});
    description.elementType = network.getLayout().elementType;
    description.networkType = network.getLayout().networkType;
    description.physicalModel = network.getLayout().physicalModel;
    description.trained = network.hasScaling();
    return description;
}
} // namespace AISystem
