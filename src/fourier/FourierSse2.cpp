// The gathered lines on SSE2 registers, two doubles each: every x86-64.
#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"
#include "fourier/FourierVectors.h"

#include "fourier/FourierPasses.h"

void fourier::sse2::TransformDimension(const Lines& lines) { TransformLines<Sse2Vector>(lines); }
