#include "src/ai/definition/AIModuleGenerator.h"

#include "AIDefinitionTestSupport.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/UnitConverter.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <optional>

using namespace AIDefinitionTest;
using AISystem::ModuleType;
using Conflux::AIModuleGenerator;

namespace
{
constexpr double inf = std::numeric_limits<double>::infinity();

/// The plain C string `call` throws; empty when it throws nothing.
std::string thrownText(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const char* text)
    {
        return text;
    }
    return {};
}
} // namespace

TEST(AIModuleGenerator, ReadsTheDataOfItsTypeAndThrowsTextWhenItIsEmpty)
{
    struct Row
    {
        TypeRef modelType, field;
        ModuleType expected;
        const char* message;
    };
    const Row rows[] = {
        {ONNX_t, ONNX_Model_Data_t, ModuleType::ONNX, "Empty ONNX Model"},
        {TorchScript_t, TorchScript_Model_Data_t, ModuleType::TorchScript, "Empty TorchScript Model"},
        {NeuralNetwork_t, NeuralNetwork_Model_Data_t, ModuleType::NeuralNetwork, "Empty NeuralNetwork Model"},
        {Python_t, Python_Model_Script_t, ModuleType::Python, "Empty Python Model"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.modelType.getLabel());
        AIModel model(row.modelType);
        // Data of another type does not count.
        EntityEditor::setValue(model.get(),
                               row.modelType == ONNX_t ? Python_Model_Script_t : ONNX_Model_Data_t, "x");
        EXPECT_EQ(thrownText([&] { AIModuleGenerator::generate(model.get()); }), row.message);
        EXPECT_EQ(thrownText([&] { AIModuleGenerator::generateTranformed(model.get()); }), row.message);
        EXPECT_EQ(thrownText([&] { AIModuleGenerator::generateAISolverInfo(model.get()); }), row.message);

        EntityEditor::setValue(model.get(), row.field, "model bytes");
        const AISystem::AISolverInfo info = AIModuleGenerator::generateAISolverInfo(model.get());
        EXPECT_EQ(info.moduleType, row.expected);
        EXPECT_EQ(info.modelData, Utilities::toByteArray("model bytes"));
    }

    AIModel untyped{TypeRef()};
    EntityEditor::setValue(untyped.get(), ONNX_Model_Data_t, "model bytes");
    EXPECT_EQ(AIModuleGenerator::generateAISolverInfo(untyped.get()), AISystem::AISolverInfo());
    EXPECT_EQ(AIModuleGenerator::generate(untyped.get()).getType(), ModuleType::None);
}

TEST(AIModuleGenerator, UnitAndScalingTransformOfOneInputOrOutput)
{
    // A unit of the tests' own quantity reading 2 * standard + 10.
    static const TypeRef quantity = []
    {
        TypeRef q("AI Definition Test Quantity");
        UnitConverter::instance().addUnit(q, Unit{"base", {1.0, 0.0}});
        UnitConverter::instance().addUnit(q, Unit{"doubled", {0.5, -5.0}});
        return q;
    }();
    struct Row
    {
        const char* name;
        bool input;
        TypeRef quantity;
        const char* unit;
        TypeRef scaling;
        double first, second, a, b;
    };
    const TypeRef none;
    const Row rows[] = {
        {"input simple", true, none, "", Simple_Scaling_t, 2.0, 1.0, 2.0, 1.0},
        {"input mean/std", true, none, "", Mean_Std_Dev_t, 24.0, 5.0, 0.2, -4.8},
        {"input kW, then scaled", true, Power_t, "kW", Simple_Scaling_t, 2.0, 1.0, 0.002, 1.0},
        {"input K, mean/std", true, Temperature_t, "K", Mean_Std_Dev_t, 300.0, 10.0, 0.1, -2.685},
        {"input 2x+10", true, quantity, "doubled", None_t, 0, 0, 2.0, 10.0},
        {"output 2x+10", false, quantity, "doubled", None_t, 0, 0, 0.5, -5.0},
        {"output simple", false, none, "", Simple_Scaling_t, 2.0, 1.0, 2.0, 1.0},
        {"output mean/std", false, none, "", Mean_Std_Dev_t, 24.0, 5.0, 5.0, 24.0},
        {"output scaled, then kW", false, Power_t, "kW", Simple_Scaling_t, 2.0, 1.0, 2000.0, 1000.0},
        {"output K, mean/std", false, Temperature_t, "K", Mean_Std_Dev_t, 300.0, 10.0, 10.0, 26.85},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        AIModel model(Python_t);
        EntityEditor::setValue(model.get(), Python_Model_Script_t, "pass");
        CompositeAttribute* value = model.add(row.input);
        if (!row.quantity.empty())
            setModelUnit(value, row.quantity, row.unit);
        if (row.scaling != None_t)
            setScaling(value, row.input, row.scaling, row.first, row.second);

        const AISystem::AISolverInfo info = AIModuleGenerator::generateAISolverInfo(model.get());
        const auto& transform = row.input ? info.inputTransform : info.outputTransform;
        ASSERT_TRUE(transform.has_value());
        EXPECT_NEAR(transform->getFactors().at(0), row.a, 1e-12 * std::abs(row.a));
        EXPECT_NEAR(transform->getOffsets().at(0), row.b, 1e-12 * std::max(1.0, std::abs(row.b)));
        EXPECT_FALSE((row.input ? info.outputTransform : info.inputTransform).has_value());
    }
}

TEST(AIModuleGenerator, ListsOfTransformsAndBoundsByPosition)
{
    AIModel model(Python_t);
    EntityEditor::setValue(model.get(), Python_Model_Script_t, "pass");
    CompositeAttribute* first = model.add(true);
    setScaling(first, true, Simple_Scaling_t, 3.0, 2.0);
    EntityEditor::setValue(first, "Bounds.Has Min", true);
    EntityEditor::setValue(first, "Bounds.Min", 15.0);
    EntityEditor::setValue(first, "Bounds.Has Max", true);
    EntityEditor::setValue(first, "Bounds.Max", 35.0);
    // A stray value in the second place keeps the identity and no bounds.
    Conflux::AIModuleGenerator::findValueList(model.get(), true)
        ->addAttribute(std::make_unique<DoubleAttribute>(TypeRef("Stray"), 5.0));
    CompositeAttribute* third = model.add(true);
    EntityEditor::setValue(third, "Bounds.Min", 99.0); // not switched on
    EntityEditor::setValue(third, "Bounds.Has Max", true);
    EntityEditor::setValue(third, "Bounds.Max", 40.1);

    const AISystem::AISolverInfo info = AIModuleGenerator::generateAISolverInfo(model.get());
    ASSERT_TRUE(info.inputTransform.has_value());
    EXPECT_EQ(info.inputTransform->getFactors(), (std::vector<double>{3.0, 1.0, 1.0}));
    EXPECT_EQ(info.inputTransform->getOffsets(), (std::vector<double>{2.0, 0.0, 0.0}));
    EXPECT_EQ(info.inputBounds.getMinima().getElementType(), AISystem::TensorElementType::Float);
    EXPECT_EQ(info.inputBounds.getMinima().toDoubleVector(), (std::vector<double>{15.0, -inf, -inf}));
    EXPECT_EQ(info.inputBounds.getMaxima().toDoubleVector(), (std::vector<double>{35.0, inf, double(40.1f)}));
    // No outputs: no transform, and bounds of no columns.
    EXPECT_FALSE(info.outputTransform.has_value());
    EXPECT_EQ(info.outputBounds.size(), 0);
}

TEST(AIModuleGenerator, TransformedModuleWrapsOnlyScalingsThatChangeSomething)
{
    // Without a model type the module passes its inputs through, so only the scaling is seen.
    AIModel identities{TypeRef()};
    setModelUnit(identities.add(true), Power_t, "W");
    setScaling(identities.add(false), false, Mean_Std_Dev_t, 0.0, 1.0);
    EXPECT_EQ(AIModuleGenerator::generateTranformed(identities.get()).getType(), ModuleType::None);

    AIModel inputOnly{TypeRef()};
    setScaling(inputOnly.add(true), true, Simple_Scaling_t, 2.0, 1.0);
    inputOnly.add(false);
    const AISystem::Module wrapped = AIModuleGenerator::generateTranformed(inputOnly.get());
    EXPECT_EQ(wrapped.getType(), ModuleType::Transformed);
    EXPECT_EQ(wrapped.eval(AISystem::Tensor::fromRows({{3.0}, {-1.0}})).toDoubleVector(),
              (std::vector<double>{7.0, -1.0}));
    EXPECT_EQ(AIModuleGenerator::generate(inputOnly.get()).getType(), ModuleType::None);

    AIModel bothSides{TypeRef()};
    setScaling(bothSides.add(true), true, Simple_Scaling_t, 2.0, 1.0);
    setModelUnit(bothSides.add(false), Power_t, "kW");
    EXPECT_EQ(AIModuleGenerator::generateTranformed(bothSides.get())
                  .eval(AISystem::Tensor::fromRows({{3.0}}))
                  .at(0, 0),
              7000.0);
}
