#include "tests/cli/AIModelEdit.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <onnx/checker.h>
#include <onnx/onnx_pb.h>

#include <string>

namespace
{
const QString sample = CONFLUX_EXAMPLES_DIR "/sample-datacentre.json";

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

Outcome exportONNX(const QStringList& arguments)
{
    QProcess process;
    process.start(CONFLUX_CLI, QStringList{"export-onnx"} + arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

std::string read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

/// The sample with its AI model's "Model Type" changed, written into `dir`.
QString sampleOfType(const QTemporaryDir& dir, const QString& type)
{
    const QString path = dir.filePath("sample-" + type + ".json");
    EXPECT_TRUE(CliTest::rewriteAIModels(sample, path,
                                         [&](QJsonObject& attributes) { attributes["Model Type"] = type; }))
        << path.toStdString();
    return path;
}
} // namespace

TEST(ExportONNXCommand, WritesTheSampleModelThatONNXChecksAccept)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("server.onnx");
    const Outcome written = exportONNX({sample, "-o", file});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, "AI model 'Server A01-1 Surrogate': 2 inputs, 2 outputs, 3 layers written to " +
                               file.toStdString() + "\n");
    onnx::ModelProto model;
    ASSERT_TRUE(model.ParseFromString(read(file)));
    EXPECT_NO_THROW(onnx::checker::check_model(model));
    EXPECT_EQ(model.graph().input_size(), 2);
    EXPECT_EQ(model.graph().input(0).type().tensor_type().elem_type(), onnx::TensorProto_DataType_DOUBLE);

    // By the equipment's name, in float, as one tensor.
    const Outcome single = exportONNX({sample, "--model", "Server A01-1", "-o", file, "--float", "--single-tensor"});
    ASSERT_EQ(single.status, 0) << single.err;
    ASSERT_TRUE(model.ParseFromString(read(file)));
    ASSERT_EQ(model.graph().input_size(), 1);
    EXPECT_EQ(model.graph().input(0).name(), "inputs");
    EXPECT_EQ(model.graph().input(0).type().tensor_type().elem_type(), onnx::TensorProto_DataType_FLOAT);
}

TEST(ExportONNXCommand, RefusalsAndBadLinesGiveStatus2AndLeaveTheFileAlone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("kept.onnx");
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("kept");
    kept.close();

    struct Row
    {
        const char* what;
        QStringList arguments;
        std::string message;
    };
    const std::vector<Row> rows{
        {"Python model", {sampleOfType(dir, "Python"), "-o", file},
         "confluxtool export-onnx: AI model 'Server A01-1 Surrogate' is a Python model; only a neural network "
         "trained in the project can be exported (a Python script has no layers to write)\n"},
        {"ONNX model", {sampleOfType(dir, "ONNX"), "-o", file},
         "confluxtool export-onnx: AI model 'Server A01-1 Surrogate' is an ONNX model; only a neural network "
         "trained in the project can be exported (its ONNX data already is one)\n"},
        {"unknown model", {sample, "--model", "Chiller", "-o", file},
         "confluxtool export-onnx: unknown model 'Chiller'; the AI models of " + sample.toStdString() +
             " are:\n  'Server A01-1 Surrogate' of 'Server A01-1'\n"},
        {"missing project", {dir.filePath("none.json"), "-o", file}, "confluxtool export-onnx: "},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        const Outcome refused = exportONNX(row.arguments);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err.substr(0, row.message.size()), row.message);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(read(file), "kept");
    }

    const Outcome noOutput = exportONNX({sample});
    EXPECT_EQ(noOutput.status, 2);
    EXPECT_EQ(noOutput.err.rfind("confluxtool export-onnx: -o FILE.onnx is needed\n\nUsage: confluxtool export-onnx", 0),
              0u)
        << noOutput.err;
    const Outcome unwritable = exportONNX({sample, "-o", dir.filePath("missing/x.onnx")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err.rfind("confluxtool export-onnx: Cannot write '" + dir.filePath("missing/x.onnx").toStdString(), 0),
              0u)
        << unwritable.err;

    const Outcome help = exportONNX({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: confluxtool export-onnx PROJECT"), std::string::npos);
}
