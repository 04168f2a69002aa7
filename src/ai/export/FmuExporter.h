#pragma once
#include "fmu/NetworkDescription.h"
#include "src/ai/export/ExportedNetwork.h"
#include "src/ai/export/FmuModelDescriptionWriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Conflux
{
/// How to export: the FMI version, the runtime library to copy in, and what the model description
/// says about its making.
struct FmuExportOptions
{
    FmiVersion version = FmiVersion::Fmi3;
    /// The generic runtime (libconflux-fmu-runtime.so); see FmuExporter::findRuntimeLibrary.
    QString runtimeLibrary;
    QString generationTool;
    QDateTime generationTime;
};

/// A co-simulation FMU of an exported network: modelDescription.xml at the root, the generic
/// runtime under binaries/x86_64-linux/ID.so (FMI 3.0) or binaries/linux64/ID.so (FMI 2.0), and
/// the network under resources/network.txt; a deflated zip with "/" separators. The token is a
/// SHA-256 digest of the network's model data and of the weights file, so the same model gives
/// the same token.
class FmuExporter
{
public:
    /// Keeps a reference to the network, which must outlive the exporter. Throws
    /// std::runtime_error when the network cannot be written (an input without bounds, a physical
    /// model the runtime cannot evaluate).
    FmuExporter(const ExportedNetwork& network, FmuExportOptions options);

    const QString& modelIdentifier() const { return m_identity.modelIdentifier; }
    const QString& token() const { return m_identity.token; }
    /// The weights file, resources/network.txt.
    const std::string& networkText() const { return m_networkText; }
    QByteArray modelDescription() const;
    /// The zip; throws std::runtime_error naming the runtime library when it cannot be read.
    QByteArray archive() const;
    /// Writes the zip atomically; throws std::runtime_error naming the path.
    void write(const QString& path) const;

    /// What the runtime evaluates for a network, under the given token.
    static ConfluxFmu::NetworkDescription networkDescription(const ExportedNetwork& network, const std::string& token);
    /// A C identifier made of a model name ("Server A01-1" gives "Server_A01_1").
    static QString identifierFor(const QString& name);
    /// The runtime library: $CONFLUX_FMU_RUNTIME, else beside the installed program
    /// (../lib/confluxtool), else the build tree's; empty when none exists.
    static QString findRuntimeLibrary();

private:
    const ExportedNetwork& m_network;
    FmuExportOptions m_options;
    FmuIdentity m_identity;
    std::string m_networkText;
};
} // namespace Conflux
