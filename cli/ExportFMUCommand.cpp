// confluxtool export-fmu PROJECT -o FILE.fmu: a trained neural network of an AI model as an FMI 3.0
// or 2.0 co-simulation FMU that computes what `evaluate` computes.
#include "cli/Command.h"
#include "src/ai/export/ExportedNetwork.h"
#include "src/ai/export/FmuExporter.h"

#include <QCommandLineParser>

#include <iostream>
#include <memory>
#include <string>

namespace
{
const char* usage = R"(Usage: confluxtool export-fmu PROJECT [--model NAME] -o FILE.fmu [--fmi 3|2]

Writes the trained neural network of an AI model of a project file (JSON) as a co-simulation
Functional Mock-up Unit (FMI 3.0 by default, or 2.0) for Linux x86-64. The FMU computes what
`confluxtool evaluate` computes: its inputs and outputs are in standard units (°C, W, m³/s, ...),
the model's unit conversions and scaling are part of it, and where the model computes its energy
and mass imbalance, they are two more outputs.

Each input and output is a continuous real variable named by the exchange path of the project
value it is bound to, described by its entity and attribute, with its unit (and the unit the
project shows it in as display unit); inputs have the AI model's bounds as min and max and start
from the project value (or the middle of the bounds). The model is algebraic: no states, and the
outputs follow the inputs within the same step.

Only neural networks trained in the project can be exported; ONNX, TorchScript and Python models,
models without a trained network, physics-conserved networks and models with an input without
bounds are refused, saying why.

Options:
  --model NAME   the AI model, by its own name or by the name of the equipment it models;
                 needed when the project has more than one
  -o FILE.fmu    the file to write (replaced whole, or left untouched when the export fails)
  --fmi 3|2      the FMI version (default 3)

The FMU carries the generic runtime library installed with confluxtool (lib/confluxtool/
libconflux-fmu-runtime.so); the environment variable CONFLUX_FMU_RUNTIME names another.

Exit status: 0 when the file is written, 2 for a bad command line, a project that does not load
or a model that cannot be exported, 1 when the file cannot be written.
)";

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("export-fmu");
    const QCommandLineOption modelOption("model", "the AI model", "model name");
    const QCommandLineOption outputOption("o", "the FMU file", "file name");
    const QCommandLineOption fmiOption("fmi", "the FMI version", "version (3 or 2)");
    QCommandLineParser parser;
    if (const auto status =
            ConfluxCli::parseArguments(self, parser, {modelOption, outputOption, fmiOption}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    if (!parser.isSet(outputOption) || parser.value(outputOption).isEmpty())
        return ConfluxCli::usageError(self, "-o FILE.fmu is needed");
    Conflux::FmuExportOptions options;
    const QString version = parser.isSet(fmiOption) ? parser.value(fmiOption) : QString("3");
    if (version == "3" || version == "3.0")
        options.version = Conflux::FmiVersion::Fmi3;
    else if (version == "2" || version == "2.0")
        options.version = Conflux::FmiVersion::Fmi2;
    else
        return ConfluxCli::usageError(self, "--fmi takes 3 or 2, not '" + version.toStdString() + "'");
    options.runtimeLibrary = Conflux::FmuExporter::findRuntimeLibrary();
    if (options.runtimeLibrary.isEmpty())
    {
        std::cerr
            << "confluxtool export-fmu: the FMU runtime library libconflux-fmu-runtime.so is not installed "
               "beside confluxtool (set CONFLUX_FMU_RUNTIME to its path)\n";
        return 1;
    }
    Conflux::ExportedNetwork network;
    std::unique_ptr<Conflux::FmuExporter> exporter;
    try
    {
        network =
            Conflux::extractNetwork(parser.positionalArguments().front(),
                                    parser.value(modelOption).toStdString(), Conflux::InputBounds::Required);
        exporter = std::make_unique<Conflux::FmuExporter>(network, options);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool export-fmu: " << error.what() << "\n";
        return 2;
    }

    const QString output = parser.value(outputOption);
    try
    {
        exporter->write(output);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool export-fmu: " << error.what() << "\n";
        return 1;
    }
    std::cout << "AI model '" << network.modelName << "': FMI "
              << (options.version == Conflux::FmiVersion::Fmi3 ? "3.0" : "2.0") << " co-simulation FMU '"
              << exporter->modelIdentifier().toStdString() << "' with " << network.inputs.size()
              << " inputs and " << network.outputs.size() << " outputs"
              << (network.physicalModel ? " (and the energy and mass imbalance)" : "") << " written to "
              << output.toStdString() << "\n";
    return 0;
}

const ConfluxCli::CommandRegistration registration(
    {"export-fmu", "write an AI model's trained neural network as an FMI co-simulation FMU", usage, run});
} // namespace
