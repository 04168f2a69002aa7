// The dense kernels for the baseline instruction set of the build (SSE2 on x86-64).
#define CONFLUX_DENSE_ISA baseline
#define CONFLUX_DENSE_ISA_NAME "baseline"
#include "host/ai/dense/DenseKernelImpl.h"

namespace AISystem::detail
{
const DenseKernel& DenseKernel::baseline()
{
    return baseline::kernel;
}
} // namespace AISystem::detail
