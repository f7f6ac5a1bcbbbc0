// Two doubles in a 128-bit register, the vector the passes use for single
// lines and pairs. Included inside each instruction set's namespace, so that
// it is compiled for that set (VEX-encoded under AVX2).
// No include guard: it is meant to be included more than once.
struct V2 {
    using T = __m128d;
    static constexpr std::uint32_t Doubles = 2;
    static T Load(const double* p) { return _mm_load_pd(p); }
    static void Store(double* p, T v) { _mm_store_pd(p, v); }
    static T LoadUnaligned(const double* p) { return _mm_loadu_pd(p); }
    static void StoreUnaligned(double* p, T v) { _mm_storeu_pd(p, v); }
    static T Add(T a, T b) { return _mm_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm_mul_pd(a, b); }
    static T Swap(T v) { return _mm_shuffle_pd(v, v, 1); }
    static T Real(const double* e) { return _mm_load_pd(e); }
    static T Imaginary(const double* e) { return _mm_load_pd(e + 2); }
};
