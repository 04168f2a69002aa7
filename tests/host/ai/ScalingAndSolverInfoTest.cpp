#include "host/ai/modules/AISolverInfo.h"
#include "host/ai/modules/TranformedModule.h"

#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

using namespace AISystem;
using ::testing::ElementsAre;

namespace
{
Tensor vector(std::vector<double> values)
{
    const auto size = static_cast<std::int64_t>(values.size());
    return Tensor::fromValues({size}, std::move(values));
}

Tensor floats(std::vector<float> values)
{
    const auto size = static_cast<std::int64_t>(values.size());
    return Tensor::fromValues({size}, std::move(values));
}

// Records what it was asked: outputs are the inputs plus 1; the imbalance is the first input and output.
class RecordingModule : public ModuleImpl
{
public:
    ModuleType getType() const override { return ModuleType::NeuralNetwork; }
    Tensor eval(const Tensor& inputs) const override
    {
        Tensor outputs = inputs;
        for (std::int64_t i = 0; i < outputs.getElementCount(); ++i)
            outputs.setElementValue(i, outputs.getDouble(i) + 1.0);
        return outputs;
    }
    bool canCalcImbalanceResults() const override { return true; }
    std::optional<ImbalanceResult> calcImbalanceResults(const Tensor& inputs,
                                                        const Tensor& outputs) const override
    {
        return ImbalanceResult{inputs.getDouble(0), outputs.getDouble(0)};
    }
};

AISolverInfo sampleInfo()
{
    AISolverInfo info;
    info.moduleType = ModuleType::ONNX;
    info.modelData = Utilities::toByteArray(std::string("\0onnx\xff bytes", 11));
    info.inputTransform = TensorScalingTransform(vector({2, 0.5}), vector({-1, 273.15}));
    info.inputBounds = TensorBounds(floats({0, -10}), floats({1, 10.5f}));
    info.outputBounds = TensorBounds(Tensor());
    return info;
}
} // namespace

TEST(TensorScalingTransform, MapsEachColumnAndKnowsIdentity)
{
    const TensorScalingTransform transform(vector({2, 1}), vector({1, -3}));
    EXPECT_FALSE(transform.isIdentity());
    EXPECT_TRUE(TensorScalingTransform(vector({1, 1}), vector({0, 0})).isIdentity());
    EXPECT_TRUE(TensorScalingTransform(Tensor(), Tensor()).isIdentity());

    const Tensor scaled = transform.apply(Tensor::fromRows({{1, 10}, {2, 20}}, TensorElementType::Float));
    EXPECT_EQ(scaled.getElementType(), TensorElementType::Float);
    EXPECT_THAT(scaled.toDoubleVector(), ElementsAre(3, 7, 5, 17));
    EXPECT_THAT(transform.inverse()->apply(scaled).toDoubleVector(), ElementsAre(1, 10, 2, 20));
    EXPECT_FALSE(TensorScalingTransform(vector({0}), vector({1})).inverse().has_value());

    EXPECT_THROW(TensorScalingTransform(vector({1, 2}), vector({0})), std::invalid_argument);
    EXPECT_THROW(transform.apply(Tensor::fromRows({{1, 2, 3}})), std::invalid_argument);
}

TEST(TensorBounds, HoldsFloatMinimaAndMaxima)
{
    EXPECT_TRUE(TensorBounds(Tensor()).isEmpty());
    const TensorBounds bounds(vector({0.1, -5}), vector({0.2, 5}));
    EXPECT_EQ(bounds.size(), 2);
    EXPECT_EQ(bounds.getMinima().getElementType(), TensorElementType::Float);
    EXPECT_EQ(bounds.findViolation(vector({0.1, 5})), -1) << "a value equal to a bound is inside";
    EXPECT_EQ(bounds.findViolation(vector({0.15, 5.01})), 1);
    EXPECT_EQ(bounds.findViolation(vector({std::nan(""), 0})), 0);
    EXPECT_EQ(TensorBounds(Tensor::fromRows({{0.1, -5}, {0.2, 5}})), bounds);
    EXPECT_THROW(TensorBounds(vector({1, 2}), vector({3})), std::invalid_argument);
    EXPECT_THROW(TensorBounds(Tensor::fromRows({{1, 2}})), std::invalid_argument);
}

TEST(TranformedModule, ScalesInputsAndOutputsAroundTheModule)
{
    const Module inner(std::make_shared<RecordingModule>());
    const Module module = TranformedModule(inner, TensorScalingTransform(vector({2, 10}), vector({0, 0})),
                                           TensorScalingTransform(vector({0.5, 1}), vector({0, -1})));
    EXPECT_EQ(module.getType(), ModuleType::Transformed);
    EXPECT_THAT(module.eval(Tensor::fromRows({{1, 2}})).toDoubleVector(), ElementsAre(1.5, 20));
    ASSERT_TRUE(module.canCalcImbalanceResults());
    // The inner module sees its own side: inputs scaled, outputs mapped back through the inverse.
    EXPECT_EQ(module.calcImbalanceResults(Tensor::fromRows({{1, 2}}), Tensor::fromRows({{1.5, 20}})),
              (ImbalanceResult{2.0, 3.0}));

    const Module inputOnly =
        TranformedModule(inner, TensorScalingTransform(vector({3, 3}), vector({0, 0})), {});
    EXPECT_THAT(inputOnly.eval(Tensor::fromRows({{1, 2}})).toDoubleVector(), ElementsAre(4, 7));
    const Module flattening =
        TranformedModule(inner, {}, TensorScalingTransform(vector({0, 1}), vector({5, 0})));
    EXPECT_THAT(flattening.eval(Tensor::fromRows({{1, 2}})).toDoubleVector(), ElementsAre(5, 3));
    EXPECT_FALSE(flattening.calcImbalanceResults(Tensor::fromRows({{1, 2}}), Tensor::fromRows({{5, 3}})))
        << "outputs that cannot be mapped back give no imbalance";
}

TEST(AISolverInfo, RoundTripsThroughBinaryAndTextStreams)
{
    const AISolverInfo info = sampleInfo();
    for (Utilities::Endianness endianness : {Utilities::Endianness::Little, Utilities::Endianness::Big})
    {
        std::ostringstream out;
        FileSystem::BinaryDataOStream writer(out, 1, endianness);
        writer << info;
        ASSERT_TRUE(writer.good());
        std::istringstream in(out.str());
        FileSystem::BinaryDataIStream reader(in);
        AISolverInfo back;
        reader >> back;
        ASSERT_TRUE(reader.good()) << reader.errorMessage();
        EXPECT_EQ(back, info);
    }
    std::ostringstream text;
    FileSystem::TextDataOStream textWriter(text);
    textWriter << info;
    std::istringstream textIn(text.str());
    FileSystem::TextDataIStream textReader(textIn);
    AISolverInfo back;
    textReader >> back;
    ASSERT_TRUE(textReader.good()) << textReader.errorMessage() << "\n" << text.str();
    EXPECT_EQ(back, info);
}

TEST(AISolverInfo, CorruptRecordsFailTheStreamAndLeaveTheTarget)
{
    std::ostringstream out;
    FileSystem::BinaryDataOStream writer(out, 1, Utilities::Endianness::Little);
    writer << sampleInfo();
    const std::string bytes = out.str();

    AISolverInfo untouched;
    untouched.moduleType = ModuleType::Python;
    for (std::size_t cut : {bytes.size() / 4, bytes.size() / 2, bytes.size() - 1})
    {
        SCOPED_TRACE(cut);
        std::istringstream in(bytes.substr(0, cut));
        FileSystem::BinaryDataIStream reader(in);
        AISolverInfo target = untouched;
        reader >> target;
        EXPECT_TRUE(reader.fail());
        EXPECT_EQ(target, untouched);
    }

    // A module type that does not exist.
    AISolverInfo unknown = sampleInfo();
    unknown.moduleType = static_cast<ModuleType>(5);
    std::ostringstream badOut;
    FileSystem::BinaryDataOStream badWriter(badOut, 1, Utilities::Endianness::Little);
    badWriter << unknown;
    std::istringstream badIn(badOut.str());
    FileSystem::BinaryDataIStream reader(badIn);
    AISolverInfo target;
    reader >> target;
    EXPECT_EQ(reader.errorMessage(), "AISolverInfo: unknown module type 5");
}

TEST(AISolverInfo, CountsBeyondTheRecordFailOnEveryStreamKind)
{
    // The sample's input transform holds 2 factors; each row claims far more than the record holds.
    const std::string tooMany = "4611686018427387904";
    std::ostringstream text;
    FileSystem::TextDataOStream textWriter(text);
    textWriter << sampleInfo();
    const std::string record = text.str();
    const struct
    {
        const char* name;
        std::string from, to;
    } rows[] = {
        {"factor count", "FactorCount: 2", "FactorCount: " + tooMany},
        {"offset count", "OffsetCount: 2", "OffsetCount: " + tooMany},
        {"bounds count", "Count: 2", "Count: " + tooMany},
        {"largest count", "FactorCount: 2", "FactorCount: 18446744073709551615"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        std::string corrupt = record;
        const std::size_t at = corrupt.find(row.from);
        ASSERT_NE(at, std::string::npos) << record;
        corrupt.replace(at, row.from.size(), row.to);
        std::istringstream in(corrupt);
        FileSystem::TextDataIStream reader(in);
        AISolverInfo target;
        EXPECT_NO_THROW(reader >> target);
        EXPECT_TRUE(reader.fail());
        EXPECT_EQ(target, AISolverInfo());
    }

    std::ostringstream binary;
    FileSystem::BinaryDataOStream binaryWriter(binary, 1, Utilities::Endianness::Little);
    binaryWriter << sampleInfo();
    std::string bytes = binary.str();
    // The first 64-bit count after "Present" true: the input transform's factor count (2).
    const std::string two("\x02\0\0\0\0\0\0\0", 8);
    const std::size_t at = bytes.find(two);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 8, std::string(8, '\xff'));
    std::istringstream in(bytes);
    FileSystem::BinaryDataIStream reader(in);
    AISolverInfo target;
    EXPECT_NO_THROW(reader >> target);
    EXPECT_THAT(reader.errorMessage(), ::testing::HasSubstr("count 18446744073709551615 exceeds"));
}
