// Each model of models.txt through the project's ONNX import, on the cases ONNX Runtime was given
// (run-onnxruntime.js): float32 models within 1e-5 and float64 models within 1e-12 of ONNX
// Runtime's outputs, relative to each output's range over the cases (or within 4 units in the
// last place, where that is more). CONFLUX_CROSSCHECK_REQUIRED=1
// (as `make crosscheck` sets it) makes missing ONNX Runtime outputs a failure rather than a skip.
#include "host/ai/modules/Module.h"
#include "tests/crosscheck/CrossCheckList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

using namespace AISystem;
using namespace CrossCheck;
namespace fs = std::filesystem;

namespace
{
class ONNXCrossCheck : public ::testing::TestWithParam<Entry>
{
};

TEST_P(ONNXCrossCheck, MatchesONNXRuntime)
{
    const Entry& entry = GetParam();
    const std::string name = fs::path(entry.model).stem().string();
    const fs::path out = CONFLUX_CROSSCHECK_OUT;
    const fs::path inputsFile = out / (name + ".inputs.csv");
    const fs::path referenceFile = out / (name + ".onnxruntime.csv");
    if (!fs::exists(referenceFile))
    {
        if (required())
            FAIL() << "no ONNX Runtime outputs in " << referenceFile;
        GTEST_SKIP() << "no ONNX Runtime outputs: run `make crosscheck`";
    }
    const bool isDouble = entry.type == "float64";
    ASSERT_TRUE(isDouble || entry.type == "float32") << entry.type;
    const TensorElementType type = isDouble ? TensorElementType::Double : TensorElementType::Float;

    std::ifstream file(fs::path(CONFLUX_SOURCE_ROOT) / entry.model, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const Module module = Module::fromByteArray(ModuleType::ONNX, Utilities::toByteArray(bytes.str()));
    const Tensor inputs = readCSV(inputsFile, type);
    ASSERT_EQ(inputs.getDimensionSize(1), entry.width);
    const Tensor got = module.eval(inputs).toElementType(TensorElementType::Double);
    const Tensor expected = readCSV(referenceFile, TensorElementType::Double);
    ASSERT_EQ(got.getTensorShape().toString(), expected.getTensorShape().toString());

    const std::int64_t rows = expected.getDimensionSize(0);
    const std::int64_t columns = expected.getDimensionSize(1);
    const double tolerance = isDouble ? 1e-12 : 1e-5;
    for (std::int64_t c = 0; c < columns; ++c)
    {
        double low = INFINITY, high = -INFINITY;
        for (std::int64_t r = 0; r < rows; ++r)
        {
            low = std::min(low, expected.data<double>()[r * columns + c]);
            high = std::max(high, expected.data<double>()[r * columns + c]);
        }
        // A constant output is compared relative to its size instead.
        const double range = high > low ? high - low : std::max(1.0, std::abs(high));
        for (std::int64_t r = 0; r < rows; ++r)
        {
            // An output that hardly varies over the cases is held to a few units in the last place
            // of its type, the most that two runtimes rounding differently can agree to.
            const double value = expected.data<double>()[r * columns + c];
            const double ulps =
                4 * std::abs(value) *
                (isDouble ? std::numeric_limits<double>::epsilon() : std::numeric_limits<float>::epsilon());
            EXPECT_NEAR(got.data<double>()[r * columns + c], value, std::max(tolerance * range, ulps))
                << name << ": case " << r << ", output " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, ONNXCrossCheck, ::testing::ValuesIn(readList("models.txt")),
                         [](const ::testing::TestParamInfo<Entry>& info)
                         { return fs::path(info.param.model).stem().string(); });
} // namespace
