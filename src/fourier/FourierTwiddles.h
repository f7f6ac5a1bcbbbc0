// The twiddles of the passes, from the algorithm's recurrence, and the reversal table.
#pragma once

#include <cstdint>

namespace fourier {

// The twiddle (wr, wi) of the pass of span q (in elements) after each step of
// the recurrence, from two sines of the angle sign*K/q. Every routine that
// needs twiddles takes them from here, in this order, so that they all get the
// same bits as the algorithm.
class TwiddleWalk {
public:
    TwiddleWalk(std::uint32_t q, std::int32_t sign);
    double wr = 1.0;
    double wi = 0.0;
    void Step()
    {
        const double v = wr;
        wr = (wr * beta - wi * gamma) + wr;
        wi = (wi * beta + v * gamma) + wi;
    }

private:
    double beta;
    double gamma;
};

// The twiddles of every pass of a line of length n, the layout the passes
// read: the pass of span q has its entries at q/2 - 1 + p, p = 0..q/2 - 1, in
// the order of the recurrence; each entry is the four doubles (wr, wr, -wi,
// wi) that the vector registers are loaded from. 4(n - 1) doubles in all.
void TwiddleTable(double* w, std::uint32_t n, std::int32_t sign);

// The same twiddles for a line held two elements to a register, from
// TwiddleTable's w (n >= 4): the pass of span 2q (q = 2..n/2 registers) at
// register offset p, that is element offsets 2p and 2p + 1, has its entry at
// q/2 - 1 + p, the eight doubles (wr, wr, wr', wr', -wi, wi, -wi', wi') of
// those two offsets. 8(n/2 - 1) doubles in all.
void PairTable(double* pairs, const double* w, std::uint32_t n);

// rev[t] is t with its log2(n) low bits reversed; n a power of two.
void ReversalTable(std::uint16_t* rev, std::uint32_t n);

// log2(n) for a power of two n.
inline std::uint32_t Log2(std::uint32_t n)
{
    std::uint32_t L = 0;
    while ((std::uint32_t(1) << L) < n)
        ++L;
    return L;
}

}  // namespace fourier
