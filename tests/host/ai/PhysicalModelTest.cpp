#include "host/ai/physics/PhysicalModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace AISystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace
{
Tensor row(std::vector<double> values) { return Tensor::fromRows({std::move(values)}); }

template <typename F> std::string messageOf(F&& f)
{
    try
    {
        f();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no exception";
}

// Power from input 2; water enters at input 0 with the flow of input 1 and leaves at output 0.
PhysicalModel waterModel(std::optional<PhysicalModelValue> outletFlow)
{
    PhysicalModelStream water(PhysicalModelFluid::water());
    water.addInflow(0.0, PhysicalModelValue::input(0), PhysicalModelValue::input(1));
    water.addOutflow(0.0, PhysicalModelValue::output(0), outletFlow);
    PhysicalModel model;
    model.addHeatSource(PhysicalModelValue::input(2));
    model.addStream(water);
    return model;
}
} // namespace

TEST(PhysicalModelFluid, DensityModels)
{
    EXPECT_DOUBLE_EQ(PhysicalModelFluid::water().density(80.0), 1000.0);
    EXPECT_DOUBLE_EQ(PhysicalModelFluid::air().specificHeat(-5.0), 1006.0);
    const PhysicalModelFluidDensityIdealGas air(28.97, 101325.0, false);
    EXPECT_NEAR(air.density(20.0), 1.2043175745580352, 1e-12);
    // A gauge reference pressure of 0 is the standard atmosphere.
    EXPECT_DOUBLE_EQ(PhysicalModelFluidDensityIdealGas(28.97, 0.0, true).density(20.0), air.density(20.0));
    EXPECT_NEAR(air.density(40.0) / air.density(20.0), 293.15 / 313.15, 1e-12);
    EXPECT_THROW(air.density(-273.15), std::domain_error);
    EXPECT_THROW(PhysicalModelFluidDensityConstant(0.0), std::invalid_argument);
    EXPECT_THROW(PhysicalModelFluidDensityIdealGas(28.97, -101325.0, false), std::invalid_argument);
    EXPECT_THROW(PhysicalModelFluidSpecificHeatConstant(std::nan("")), std::invalid_argument);
}

TEST(PhysicalModelFluid, SpecificHeatCurveInterpolatesAndIntegrates)
{
    const PhysicalModelFluidSpecificHeatTemperatureCurve curve({{0.0, 4000.0}, {100.0, 4200.0}});
    EXPECT_DOUBLE_EQ(curve.specificHeat(50.0), 4100.0);
    EXPECT_DOUBLE_EQ(curve.specificHeat(-10.0), 4000.0);
    EXPECT_DOUBLE_EQ(curve.specificHeat(150.0), 4200.0);
    // h(T) = 4000 T + T² inside the curve, constant slope beyond it.
    EXPECT_DOUBLE_EQ(curve.enthalpy(20.0), 80400.0);
    EXPECT_DOUBLE_EQ(curve.enthalpy(150.0), 620000.0);
    EXPECT_DOUBLE_EQ(curve.enthalpy(-10.0), -40000.0);

    // Enthalpy counts from 0 °C even when the curve starts above it.
    const PhysicalModelFluidSpecificHeatTemperatureCurve warm({{10.0, 4000.0}, {20.0, 4100.0}});
    EXPECT_DOUBLE_EQ(warm.enthalpy(15.0), 60125.0);
    EXPECT_DOUBLE_EQ(warm.enthalpy(0.0), 0.0);
}

TEST(PhysicalModelFluid, SpecificHeatCurveRefusesBadPoints)
{
    PhysicalModelFluidSpecificHeatTemperatureCurve curve;
    curve.addPoint(20.0, 4100.0);
    EXPECT_EQ(messageOf([&] { curve.addPoint(10.0, 4000.0); }), "CFDSolver: Invalid ordering in Curve object");
    EXPECT_EQ(messageOf([&] { curve.addPoint(20.0, 4000.0); }), "CFDSolver: Invalid ordering in Curve object");
    EXPECT_THAT(messageOf([&] { curve.addPoint(std::nan(""), 4000.0); }),
                StartsWith("Attempt to add non-finite values (nan, 4000) to Curve object\n"));
    EXPECT_THAT(messageOf([&] { curve.addPoint(30.0, std::numeric_limits<double>::infinity()); }),
                StartsWith("Attempt to add non-finite values (30, inf) to Curve object\n"));
    EXPECT_EQ(curve.getPoints().size(), 1u);
    EXPECT_THROW(PhysicalModelFluidSpecificHeatTemperatureCurve().specificHeat(20.0), std::runtime_error);
}

TEST(PhysicalModel, WaterStreamImbalances)
{
    struct Case
    {
        const char* name;
        std::optional<PhysicalModelValue> outletFlow;
        std::vector<double> outputs;
        double energy;
        double mass;
    };
    // 2 kg/s of water heated from 20 °C to 30 °C carries 83720 W.
    const Case cases[] = {
        {"outlet flow shared from the inlet", std::nullopt, {30.0}, 80000.0 - 83720.0, 0.0},
        {"outlet flow given as leaving", PhysicalModelValue::input(1, -1.0), {30.0}, 80000.0 - 83720.0, 0.0},
        {"outlet flow predicted", PhysicalModelValue::output(1), {30.0, 0.0019},
         80000.0 + 2.0 * 4186.0 * 20.0 - 1.9 * 4186.0 * 30.0, 0.1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto results = waterModel(c.outletFlow).calcImbalances(row({20.0, 0.002, 80000.0}), row(c.outputs));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_NEAR(results[0].energy, c.energy, 1e-6);
        EXPECT_NEAR(results[0].mass, c.mass, 1e-12);
    }
}

TEST(PhysicalModel, AirStreamWithIdealGasSharesOutletsByArea)
{
    PhysicalModelStream air(PhysicalModelFluid(PhysicalModelFluidDensityIdealGas(28.97, 101325.0, false),
                                               PhysicalModelFluidSpecificHeatConstant(1006.0)));
    air.addInflow(0.0, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
    air.addOutflow(1.0, PhysicalModelValue::output(0), std::nullopt);
    air.addOutflow(3.0, PhysicalModelValue::output(1), std::nullopt);
    PhysicalModel model;
    model.addHeatSource(PhysicalModelValue::input(0));
    model.addStream(air);

    // ṁ = 0.1 m³/s × 1.20432 kg/m³; a quarter leaves at 30 °C, three quarters at 40 °C.
    const auto results = model.calcImbalances(Tensor::fromRows({{2000.0, 20.0, 0.1}, {0.0, 20.0, 0.1}}),
                                              Tensor::fromRows({{30.0, 40.0}, {20.0, 20.0}}));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_NEAR(results[0].energy, -120.20109000942102, 1e-9);
    EXPECT_NEAR(results[0].mass, 0.0, 1e-15);
    EXPECT_NEAR(results[1].energy, 0.0, 1e-9);
}

TEST(PhysicalModel, SpecificHeatCurveStream)
{
    PhysicalModelStream stream(PhysicalModelFluid(PhysicalModelFluidDensityConstant(1000.0),
                                                  PhysicalModelFluidSpecificHeatTemperatureCurve({{0.0, 4000.0},
                                                                                                  {100.0, 4200.0}})));
    stream.addInflow(0.0, PhysicalModelValue::input(0), PhysicalModelValue::fixed(0.001));
    stream.addOutflow(0.0, PhysicalModelValue::output(0), std::nullopt);
    PhysicalModel model;
    model.addHeatSource(PhysicalModelValue::fixed(50000.0));
    model.addStream(stream);
    // 1 kg/s from h(20) = 80400 to h(30) = 120900 J/kg takes 40500 W.
    const auto results = model.calcImbalances(row({20.0}), row({30.0}));
    EXPECT_NEAR(results.at(0).energy, 9500.0, 1e-6);
}

TEST(PhysicalModel, ValidationNamesTheProblem)
{
    EXPECT_EQ(messageOf([] { waterModel(std::nullopt).validate(2, 1); }),
              "Physical model: heat source 1 refers to input 2 but the network has 2 inputs");
    EXPECT_EQ(messageOf([] { waterModel(PhysicalModelValue::output(1)).validate(3, 1); }),
              "Physical model: stream 1 outflow 1 flow refers to output 1 but the network has 1 outputs");

    PhysicalModelStream noFlows(PhysicalModelFluid::air());
    noFlows.addInflow(0.0, PhysicalModelValue::input(0), std::nullopt);
    noFlows.addOutflow(0.0, PhysicalModelValue::output(0), std::nullopt);
    PhysicalModel model;
    model.addStream(noFlows);
    EXPECT_EQ(messageOf([&] { model.validate(1, 1); }),
              "Physical model: stream 1 needs a flow on all its inflows or on all its outflows");

    PhysicalModelStream noTemperature(PhysicalModelFluid::air());
    noTemperature.addInflow(0.0, std::nullopt, PhysicalModelValue::input(0));
    PhysicalModel second;
    second.addStream(noTemperature);
    EXPECT_EQ(messageOf([&] { second.validate(1, 1); }), "Physical model: stream 1 inflow 1 has no temperature");

    EXPECT_THROW(waterModel(std::nullopt).calcImbalances(row({1.0, 2.0}), row({3.0})), std::invalid_argument);
    EXPECT_THROW(PhysicalModelValue::input(-1), std::invalid_argument);
}

TEST(PhysicalModel, TextRoundTrip)
{
    PhysicalModelStream air(PhysicalModelFluid(PhysicalModelFluidDensityIdealGas(28.97, 250.0, true),
                                               PhysicalModelFluidSpecificHeatTemperatureCurve({{0.0, 1005.5},
                                                                                               {50.0, 1007.25}})));
    air.addInflow(0.125, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
    air.addOutflow(0.5, PhysicalModelValue::output(0), PhysicalModelValue(PhysicalModelValueType::Output, 1, -1.0, 0.0));
    PhysicalModel model = waterModel(std::nullopt);
    model.addStream(air);

    const std::string text = model.toText();
    EXPECT_EQ(text, "physical-model 1\n"
                    "heat-source input 2 1 0\n"
                    "stream density constant 1000 specific-heat constant 4186\n"
                    "inflow 0 input 0 1 0 input 1 1 0\n"
                    "outflow 0 output 0 1 0 none\n"
                    "stream density ideal-gas 28.969999999999999 250 1 specific-heat curve 2 0 1005.5 50 1007.25\n"
                    "inflow 0.125 input 1 1 0 input 2 1 0\n"
                    "outflow 0.5 output 0 1 0 output 1 -1 0\n");
    EXPECT_EQ(PhysicalModel::fromText(text), model);

    EXPECT_EQ(messageOf([] { PhysicalModel::fromText("physical-model 1\ninflow 0 none none\n"); }),
              "Physical model text, line 2 (\"inflow 0 none none\"): an inflow before any stream");
    EXPECT_EQ(messageOf([] { PhysicalModel::fromText("physical-model 1\nheat-source input x 1 0\n"); }),
              "Physical model text, line 2 (\"heat-source input x 1 0\"): an integer is missing or unreadable");
    EXPECT_THAT(messageOf([] {
                    PhysicalModel::fromText("physical-model 1\nstream density constant 1 specific-heat curve 2 5 1 4 1\n");
                }),
                HasSubstr("CFDSolver: Invalid ordering in Curve object"));
    EXPECT_THROW(PhysicalModel::fromText("something else"), std::runtime_error);
}
