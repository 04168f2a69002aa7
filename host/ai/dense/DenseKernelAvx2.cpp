// The dense kernels for AVX2 with FMA; this file alone is compiled with -mavx2 -mfma, and its
// Eigen is renamed so that none of its inline code can stand in for the baseline's.
#define Eigen ConfluxEigenAvx2
#define CONFLUX_DENSE_ISA avx2
#define CONFLUX_DENSE_ISA_NAME "avx2"
#include "host/ai/dense/DenseKernelImpl.h"

namespace AISystem::detail
{
const DenseKernel* avx2Kernel()
{
    return &avx2::kernel;
}
} // namespace AISystem::detail
