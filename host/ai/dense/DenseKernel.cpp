#include "host/ai/dense/DenseKernel.h"

namespace AISystem::detail
{
// Defined in DenseKernelAvx2.cpp, built only on x86-64.
const DenseKernel* avx2Kernel();

const DenseKernel* DenseKernel::avx2()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported ? avx2Kernel() : nullptr;
#else
    return nullptr;
#endif
}

const DenseKernel& DenseKernel::best()
{
    static const DenseKernel& chosen = avx2() ? *avx2() : baseline();
    return chosen;
}
} // namespace AISystem::detail
