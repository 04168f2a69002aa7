#pragma once
#include "src/ai/export/ExportedNetwork.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Conflux
{
/// The FMI version of an exported FMU.
enum class FmiVersion
{
    Fmi3,
    Fmi2,
};

/// What identifies one exported FMU beside its network.
struct FmuIdentity
{
    QString modelIdentifier; ///< a C identifier: the binary's file name and the functions' prefix
    QString token;           ///< instantiationToken (3.0) or guid (2.0)
    QString generationTool;
    QDateTime generationTime;
};

/// Writes the modelDescription.xml of a co-simulation FMU of a network. Value references: 0 is
/// time, 1..N the inputs, then the outputs, then the energy and mass imbalance when the network
/// has a physical model. Every variable is continuous; inputs carry min, max and start, outputs
/// are calculated and depend on every input; units are declared with their SI base-unit exponents
/// and the project's display unit.
class FmuModelDescriptionWriter
{
public:
    FmuModelDescriptionWriter(const ExportedNetwork& network, FmuIdentity identity);

    /// UTF-8 XML; throws std::runtime_error naming a variable whose values cannot be written.
    QByteArray write(FmiVersion version) const;

    /// Whether the FMU gives the energy and mass imbalance: the network has a physical model and
    /// every output's transform can be inverted (the balance takes the outputs back through it).
    static bool exportsImbalance(const ExportedNetwork& network);
    /// The names of the energy and mass imbalance variables.
    static const char* energyImbalanceName();
    static const char* massImbalanceName();

private:
    const ExportedNetwork& m_network;
    FmuIdentity m_identity;
};
} // namespace Conflux
