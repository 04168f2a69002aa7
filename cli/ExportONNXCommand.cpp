// confluxtool export-onnx PROJECT -o FILE.onnx: a trained neural network of an AI model as an ONNX
// model that computes what `evaluate` computes, unit conversions and scaling included.
#include "cli/Command.h"
#include "src/ai/export/ExportedNetwork.h"
#include "src/ai/export/ONNXNetworkWriter.h"

#include <QCommandLineParser>

#include <iostream>
#include <memory>
#include <string>

namespace
{
const char* usage =
    R"(Usage: confluxtool export-onnx PROJECT [--model NAME] -o FILE.onnx [--float] [--single-tensor]

Writes the trained neural network of an AI model of a project file (JSON) as an ONNX model
(opset 13) that takes the inputs in standard units (°C, W, m³/s, ...) and gives the outputs in
standard units: the model's unit conversions and scaling are part of it, so that any ONNX runtime
computes what `confluxtool evaluate` computes.

Each input is a graph input of shape {cases, 1} named by the exchange path of the project value it
is bound to, and each output a graph output named likewise. The model's metadata properties give,
per column (input.0, input.1, ..., output.0, ...), the name, a description naming entity and
attribute, the quantity, the standard unit, the unit the project shows with its factor and offset
(standard = factor * value + offset), the bounds and the start value.

Only neural networks trained in the project can be exported; ONNX, TorchScript and Python models,
models without a trained network and physics-conserved networks are refused, saying why.

Options:
  --model NAME      the AI model, by its own name or by the name of the equipment it models;
                    needed when the project has more than one
  -o FILE.onnx      the file to write (replaced whole, or left untouched when the export fails)
  --float           float32 tensors and weights (default: the network's own element type)
  --single-tensor   one input "inputs" {cases, inputs} and one output "outputs" {cases, outputs},
                    the columns in the model's order (either form loads back as an ONNX AI model)

Exit status: 0 when the file is written, 2 for a bad command line, a project that does not load
or a model that cannot be exported, 1 when the file cannot be written.
)";

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("export-onnx");
    const QCommandLineOption modelOption("model", "the AI model", "model name");
    const QCommandLineOption outputOption("o", "the ONNX file", "file name");
    const QCommandLineOption floatOption("float", "float32 tensors");
    const QCommandLineOption singleOption("single-tensor", "one input and one output tensor");
    QCommandLineParser parser;
    if (const auto status = ConfluxCli::parseArguments(
            self, parser, {modelOption, outputOption, floatOption, singleOption}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    if (!parser.isSet(outputOption) || parser.value(outputOption).isEmpty())
        return ConfluxCli::usageError(self, "-o FILE.onnx is needed");
    Conflux::ExportedNetwork network;
    try
    {
        network =
            Conflux::extractNetwork(parser.positionalArguments().front(),
                                    parser.value(modelOption).toStdString(), Conflux::InputBounds::Optional);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool export-onnx: " << error.what() << "\n";
        return 2;
    }

    Conflux::ONNXExportOptions options;
    options.float32 = parser.isSet(floatOption);
    options.layout =
        parser.isSet(singleOption) ? Conflux::ONNXLayout::SingleTensor : Conflux::ONNXLayout::NamedColumns;
    const QString output = parser.value(outputOption);
    try
    {
        Conflux::ONNXNetworkWriter::write(network, options, output);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool export-onnx: " << error.what() << "\n";
        return 1;
    }
    std::cout << "AI model '" << network.modelName << "': " << network.inputs.size() << " inputs, "
              << network.outputs.size() << " outputs, " << network.layers.size() << " layers written to "
              << output.toStdString() << "\n";
    return 0;
}

const ConfluxCli::CommandRegistration
    registration({"export-onnx", "write an AI model's trained neural network as an ONNX model", usage, run});
} // namespace
