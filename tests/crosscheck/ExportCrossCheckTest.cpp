// The sample's network as `confluxtool export-onnx` writes it, evaluated by ONNX Runtime
// (run-onnxruntime.js over exported.txt), against the project's own evaluation of the sample's AI
// model on the same cases: float64 exports within 1e-12 and float32 exports within 1e-5 of each
// output's range. CONFLUX_CROSSCHECK_REQUIRED=1 (as `make crosscheck` sets it) makes missing ONNX
// Runtime outputs a failure rather than a skip.
#include "host/ai/modules/Module.h"
#include "tests/crosscheck/CrossCheckList.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/definition/AIModuleGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace AISystem;
using namespace CrossCheck;
namespace fs = std::filesystem;

namespace
{
class ExportCrossCheck : public ::testing::TestWithParam<Entry>
{
};

TEST_P(ExportCrossCheck, ONNXRuntimeGivesWhatEvaluateGives)
{
    const Entry& entry = GetParam();
    const std::string name = fs::path(entry.model).stem().string();
    const fs::path out = CONFLUX_CROSSCHECK_OUT;
    const fs::path referenceFile = out / (name + ".onnxruntime.csv");
    if (!fs::exists(referenceFile))
    {
        if (required())
            FAIL() << "no ONNX Runtime outputs in " << referenceFile;
        GTEST_SKIP() << "no ONNX Runtime outputs: run `make crosscheck`";
    }
    const auto project = EntityModel::ProjectFile::load(CONFLUX_SOURCE_ROOT "/examples/sample-datacentre.json");
    EntityModel::Entity* model =
        project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
    // The cases as ONNX Runtime was given them (float32 ones already rounded to float).
    const Tensor inputs = readCSV(out / (name + ".inputs.csv"), TensorElementType::Double);
    ASSERT_EQ(inputs.getDimensionSize(1), entry.width);
    const Tensor expected = Conflux::AIModuleGenerator::generateTranformed(model).eval(inputs);
    const Tensor got = readCSV(referenceFile, TensorElementType::Double);
    ASSERT_EQ(got.getTensorShape().toString(), expected.getTensorShape().toString());

    const std::int64_t rows = expected.getDimensionSize(0);
    const std::int64_t columns = expected.getDimensionSize(1);
    const double tolerance = entry.type == "float64" ? 1e-12 : 1e-5;
    for (std::int64_t c = 0; c < columns; ++c)
    {
        double low = INFINITY, high = -INFINITY;
        for (std::int64_t r = 0; r < rows; ++r)
        {
            low = std::min(low, expected.at(r, c));
            high = std::max(high, expected.at(r, c));
        }
        const double range = high > low ? high - low : std::max(1.0, std::abs(high));
        for (std::int64_t r = 0; r < rows; ++r)
            EXPECT_NEAR(got.at(r, c), expected.at(r, c), tolerance * range) << name << ": case " << r << ", output " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Exported, ExportCrossCheck, ::testing::ValuesIn(readList("exported.txt")),
                         [](const ::testing::TestParamInfo<Entry>& info) {
                             return fs::path(info.param.model).stem().string();
                         });
} // namespace
