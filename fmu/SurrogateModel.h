#pragma once
// The evaluator of an exported network inside the FMU runtime (plain C++ and Eigen).
#include "fmu/NetworkDescription.h"

#include <Eigen/Core>

#include <memory>
#include <vector>

namespace ConfluxFmu
{
/// A network ready to evaluate one case at a time: the normalisation folded into the first and last
/// layers (as the project's own dense evaluator folds it), weights in the network's element type,
/// then the balance in double. Immutable once built; each caller brings its own Workspace.
class SurrogateModel
{
public:
    /// Buffers of one caller, so that evaluation allocates nothing.
    class Workspace
    {
    public:
        explicit Workspace(const SurrogateModel& model);

    private:
        friend class SurrogateModel;
        Eigen::VectorXd modelInputs;
        Eigen::VectorXd modelOutputs;
        std::vector<Eigen::VectorXd> doubles;
        std::vector<Eigen::VectorXf> floats;
    };

    /// Throws std::invalid_argument when the description is inconsistent.
    explicit SurrogateModel(const NetworkDescription& description);

    const NetworkDescription& description() const { return m_description; }
    int inputCount() const { return static_cast<int>(m_description.inputs.size()); }
    int outputCount() const { return static_cast<int>(m_description.outputs.size()); }
    /// Whether the energy (W) and mass (kg/s) imbalance follow the outputs.
    bool hasImbalance() const { return m_description.balance.has_value(); }
    /// Outputs, then the two imbalances when there are any.
    int resultCount() const { return outputCount() + (hasImbalance() ? 2 : 0); }

    /// Results for FMU input values; false when a result is not finite (the inputs are left
    /// as they were, the results may be partly written).
    bool evaluate(const double* inputs, double* results, Workspace& workspace) const;

private:
    template <typename T> struct Layer
    {
        using Scalar = T;
        Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic> weights; // {outputs, inputs}
        Eigen::Matrix<T, Eigen::Dynamic, 1> bias;
        bool tanh = true;
    };
    template <typename Scalar>
    void forward(const std::vector<Layer<Scalar>>& layers, std::vector<Eigen::Matrix<Scalar, Eigen::Dynamic, 1>>& work,
                 const Eigen::VectorXd& inputs, Eigen::VectorXd& outputs) const;
    void conserveEnergy(const Eigen::VectorXd& inputs, Eigen::VectorXd& outputs) const;
    void imbalance(const Eigen::VectorXd& inputs, const Eigen::VectorXd& outputs, double& energy,
                   double& mass) const;

    NetworkDescription m_description;
    std::vector<Layer<double>> m_doubleLayers;
    std::vector<Layer<float>> m_floatLayers;
};
} // namespace ConfluxFmu
