#pragma once

namespace AISystem
{
/// How a neural network relates to its physical model.
enum class NeuralNetworkType : int
{
    Generic = 1,          ///< fitted to the data alone
    PhysicsInformed = 2,  ///< the balance's imbalance is added to the training loss
    PhysicsConserved = 3, ///< the outputs are corrected so that the energy balance closes
};
} // namespace AISystem
