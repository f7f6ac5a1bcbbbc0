// The lines of a transform of any length on SSE2 registers, two lines side by side: every x86-64.
#include "fourier/DftPlan.h"

#include "fourier/DftKernels.h"

namespace fourier::dft_sse2 {

namespace {
typedef double Pair __attribute__((vector_size(16)));
}

void Dimension(const DftLines& lines)
{
    if (lines.width == 1)
        return LinesOf<double>(lines);
    LinesOf<Pair>(lines);
}

double* Line(const DftPlan& plan, double* a, double* b)
{
    // A line on its own is its values as (re, im) pairs: Cx<double>.
    Cx<double>* const ca = reinterpret_cast<Cx<double>*>(a);
    Cx<double>* const cb = reinterpret_cast<Cx<double>*>(b);
    return reinterpret_cast<double*>(RunLine(plan, ca, cb));
}

}  // namespace fourier::dft_sse2
