// kernels_impl.hpp - internal: the vectorised kernels, written once over a
// vector of LANES doubles and compiled once per instruction-set level.
//
// Include only from a kernels_<level>.cpp file, which defines LANES and
// KERNEL_NAMESPACE and builds with that level's compiler flags; everything
// here lives in that namespace so no code compiled for one level is ever
// linked into another. The x86-64 levels also define KERNEL_X86, which lets
// a few helpers use the instructions of their level; without it (the
// portable set, built on every architecture) the same helpers are written
// in plain vector code that any target's compiler maps to its own vector
// unit or to scalar code, except for one conversion on arm64 (see below).
//
// Bit-identity with the literal kernels rests on three rules: every
// operation is the same IEEE operation on the same operands in the same order
// (no reassociation, no fused multiply-add, and a reciprocal only where it
// provably rounds to the same float, see divide_for_float); every value the
// literal code stores to a float is rounded to float at that point
// (to_float); and every Gauss-Seidel update sees exactly the neighbour values
// the ascending in-place sweep would see.
#if defined(KERNEL_X86)
#include <immintrin.h>
#define X86_LANES LANES
#elif defined(__aarch64__) && LANES == 2
// The portable set on arm64: the same generic code, with the two-lane float
// conversions spelled out (the generic widening becomes one scalar conversion
// a lane).
#include <arm_neon.h>
#define ARM64_LANES 2
#define X86_LANES 0
#else
// No level-specific instructions: every helper takes its generic form.
#define X86_LANES 0
#endif

#include <cstdint>
#include <cstring>

#include "fluid.hpp"
#include "kernels.hpp"
#include "skew_layout.hpp"

namespace fluid::detail::KERNEL_NAMESPACE {

namespace {

constexpr int W = LANES;
constexpr int N = GRID_SIDE;

typedef double vd __attribute__((vector_size(W * 8)));
typedef std::int64_t vl __attribute__((vector_size(W * 8)));
typedef float vf __attribute__((vector_size(W * 4)));
typedef std::int32_t vi __attribute__((vector_size(W * 4)));

// x in every lane (signed zeros kept).
inline vd splat(double x) {
    vd v;
    for (int k = 0; k < W; ++k) v[k] = x;
    return v;
}

inline vd load(const double* p) {
    vd v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline vl load(const std::int64_t* p) {
    vl v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(double* p, vd v) {
    std::memcpy(p, &v, sizeof v);
}

// Each lane rounded to float, as a float.
inline vf narrow(vd x) {
#if X86_LANES == 8
    return _mm512_maskz_cvtpd_ps(0xff, x);
#elif X86_LANES == 4 && defined(__AVX2__)
    // (The generic conversion is split into two-lane halves at this level.)
    return _mm256_cvtpd_ps(x);
#else
    return __builtin_convertvector(x, vf);
#endif
}
inline vd widen(vf x) {
#if X86_LANES == 8
    return _mm512_maskz_cvtps_pd(0xff, x);
#elif X86_LANES == 4 && defined(__AVX2__)
    return _mm256_cvtps_pd(x);
#elif defined(ARM64_LANES)
    return (vd)vcvt_f64_f32((float32x2_t)x);
#else
    return __builtin_convertvector(x, vd);
#endif
}
// W floats widened to double (exact).
inline vd load_float(const float* p) {
    vf f;
    std::memcpy(&f, p, sizeof f);
    return widen(f);
}
// Each lane rounded to float precision and kept as a double.
inline vd to_float(vd x) {
    return widen(narrow(x));
}

inline void store_float(float* p, vd v) {
    const vf f = narrow(v);
    std::memcpy(p, &f, sizeof f);
}

// Bitwise lane selection: a where m is set, else b.
inline vd select(vl m, vd a, vd b) {
    return (vd)(((vl)a & m) | ((vl)b & ~m));
}
// +0 where m is set, else x.
inline vd zero_where(vl m, vd x) {
    return (vd)((vl)x & ~m);
}
// x with its sign flipped where m is set.
inline vd negate_where(vl m, vd x) {
    return (vd)((vl)x ^ (m & (vl)splat(-0.0)));
}

// True where the value points towards a solid neighbour: negative towards
// the one tested by below, positive towards the one tested by above. Zero and
// NaN never do.
inline vl towards(vd value, vl below, vl above) {
    return ((vl)(value < 0.0) & below) | ((vl)(value > 0.0) & above);
}

// d0 at W flat indices k and at k + 1, widened to double. The two floats
// are adjacent, so one 8-byte gather fetches both.
inline void gather_pair(const float* base, vi index, vd& at, vd& next) {
#if X86_LANES == 8
    // (The masked forms avoid reading undefined registers.)
    const __m512i pairs =
        _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), 0xff, (__m256i)index, base, 4);
    at = _mm512_maskz_cvtps_pd(0xff, (__m256)_mm512_maskz_cvtepi64_epi32(0xff, pairs));
    next = _mm512_maskz_cvtps_pd(
        0xff, (__m256)_mm512_maskz_cvtepi64_epi32(0xff, _mm512_maskz_srli_epi64(0xff, pairs, 32)));
#elif X86_LANES == 4 && defined(__AVX2__)
    const __m256i pairs =
        _mm256_i32gather_epi64((const long long*)(const void*)base, (__m128i)index, 4);
    const __m256i split =
        _mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    at = _mm256_cvtps_pd((__m128)_mm256_castsi256_si128(split));
    next = _mm256_cvtps_pd((__m128)_mm256_extracti128_si256(split, 1));
#else
    vf a, b;
    for (int k = 0; k < W; ++k) {
        a[k] = base[index[k]];
        b[k] = base[index[k] + 1];
    }
    at = __builtin_convertvector(a, vd);
    next = __builtin_convertvector(b, vd);
#endif
}

// x rounded toward zero, as a double; t is the same as an integer.
inline vd whole(vd x, vi t) {
#if X86_LANES == 8
    (void)t;
    return _mm512_maskz_roundscale_pd(0xff, x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
#else
    (void)x;
    return __builtin_convertvector(t, vd);
#endif
}

// Each lane clamped to [lo, hi]; NaN and -inf become lo, +inf becomes hi.
// (The x86 max returns its second operand when the first is NaN; the generic
// form says the same with comparisons, which are false for NaN, since other
// targets' min and max instructions return NaN or the other operand.)
inline vd clamp(vd x, vd lo, vd hi) {
#if X86_LANES == 8
    return _mm512_maskz_min_pd(0xff, _mm512_maskz_max_pd(0xff, x, lo), hi);
#elif X86_LANES == 4
    return _mm256_min_pd(_mm256_max_pd(x, lo), hi);
#elif X86_LANES == 2
    return _mm_min_pd(_mm_max_pd(x, lo), hi);
#else
    const vd above_lo = select((vl)(x >= lo), x, lo);
    return select((vl)(above_lo <= hi), above_lo, hi);
#endif
}

// The lane numbers 0 .. W - 1.
inline vd lane_numbers() {
    vd v;
    for (int k = 0; k < W; ++k) v[k] = k;
    return v;
}
// The same as integers.
inline vi lane_indices() {
    vi v;
    for (int k = 0; k < W; ++k) v[k] = k;
    return v;
}
// ---------------------------------------------------------------------------
// Lane masks: one bit per lane, as the skewed obstacle masks store them.

#if X86_LANES == 8
typedef __mmask8 LaneMask;
inline LaneMask lanes_from_bits(unsigned bits) {
    return static_cast<LaneMask>(bits);
}
// The lanes of the W cells at skewed offset SKEW_FRONT + k (k a multiple of
// W) in the bit mask m.
inline LaneMask mask_lanes(const SkewMask& m, int k) {
    // Straight from memory into a mask register: the compiler would load the
    // byte into a general register first and move it over, which takes the
    // port the comparisons need. (Two bytes are read; the bits are padded.)
    LaneMask lanes;
    __asm__("kmovw %1, %0" : "=k"(lanes) : "m"(*(const std::uint8_t(*)[2])(m.bits + (k >> 3))));
    return lanes;
}
// +0 in the lanes of m, else x.
inline vd zero_at(LaneMask m, vd x) {
    return _mm512_mask_mov_pd(x, m, _mm512_setzero_pd());
}
// x with its sign flipped where it points towards a solid neighbour (see
// towards).
inline vd flip_towards(vd x, LaneMask below, LaneMask above) {
    const __m512d zero = _mm512_setzero_pd();
    const __mmask8 flip = _mm512_mask_cmp_pd_mask(below, x, zero, _CMP_LT_OQ) |
                          _mm512_mask_cmp_pd_mask(above, x, zero, _CMP_GT_OQ);
    const __m512i bits = _mm512_castpd_si512(x);
    return _mm512_castsi512_pd(
        _mm512_mask_xor_epi64(bits, flip, bits, _mm512_set1_epi64(INT64_MIN)));
}
// Stores the lanes of m of v.
inline void store_at(double* p, vd v, LaneMask m) {
    _mm512_mask_storeu_pd(p, m, v);
}
#else
typedef vl LaneMask;
// All bits set in the lanes whose bit is set in the index.
struct LaneTable {
    std::int64_t masks[1 << W][W];
};
constexpr LaneTable build_lane_table() {
    LaneTable t{};
    for (int b = 0; b < (1 << W); ++b) {
        for (int k = 0; k < W; ++k) t.masks[b][k] = (b >> k) & 1 ? -1 : 0;
    }
    return t;
}
alignas(64) constexpr LaneTable lane_table = build_lane_table();
inline LaneMask lanes_from_bits(unsigned bits) {
    return load(lane_table.masks[bits]);
}
inline LaneMask mask_lanes(const SkewMask& m, int k) {
    // The stored byte offsets index the table without arithmetic.
    static_assert(W == 2 || W == 4);
    const char* table = reinterpret_cast<const char*>(lane_table.masks);
    LaneMask lanes;
    std::memcpy(&lanes, table + (W == 4 ? m.quads[k >> 2] : m.pairs[k >> 1]), sizeof lanes);
    return lanes;
}
inline vd zero_at(LaneMask m, vd x) {
    return zero_where(m, x);
}
inline vd flip_towards(vd x, LaneMask below, LaneMask above) {
    return negate_where(towards(x, below, above), x);
}
inline void store_at(double* p, vd v, LaneMask m) {
#if X86_LANES == 4 && defined(__AVX2__)
    _mm256_maskstore_pd(p, (__m256i)m, v);
#else
    for (int k = 0; k < W; ++k) {
        if (m[k] != 0) p[k] = v[k];
    }
#endif
}
#endif

// The lanes of the vector at positions i .. i + W - 1 that lie in lo .. hi.
inline unsigned range_bits(int i, int lo, int hi) {
    const int first = lo > i ? lo - i : 0;
    const int last = hi < i + W - 1 ? hi - i : W - 1;
    return first > last ? 0u : (2u << last) - (1u << first);
}

// ---------------------------------------------------------------------------
// Gauss-Seidel sweeps in the wrapped layout.
//
// Sweep s computes diagonal d at time T = d + 128 s. It needs diagonal d - 1
// of the same sweep (time T - 1) and diagonal d + 1 of the previous sweep
// (time T - 127), which the sweep itself overwrites only at time T + 1. At
// time T, row T mod 128 is computed: diagonal r = T mod 128 in sweep
// s = T / 128 and diagonal r + 128 in sweep s - 1, a whole row of full
// vectors. The 20 sweeps take 21 turns of 128 rows; the first turn has only
// the diagonals r of sweep 0, the last only the diagonals r + 128 of the
// last sweep.
//
// The ring cells are rows' cells too. The edge rule between sweeps sets a
// ring cell to the interior cell next to it (copy mode) or to 0 (zero mode),
// and only that interior cell ever reads it. So after a row is computed its
// ring cells are set to what that interior cell must read next (0 in zero
// mode): (0, j) and (i, 0), read one time step later in the same sweep, take
// the interior cell's value, which is still that of the previous sweep (the
// first sweep reads them as they were on entry, so the first turn leaves
// them); (127, j) and (i, 127), read in the next sweep, take the interior
// cell's value just computed. Corners are never read; the edge rule on the
// native field at the end sets them and the ring.

constexpr int SWEEPS = 20;

// Whether any of the W cells at skewed offset SKEW_FRONT + k is set in m.
inline bool any_set(const SkewMask& m, int k) {
    if (W == 8) return m.bits[k >> 3] != 0;
    if (W == 4) return m.quads[k >> 2] != 0;
    return m.pairs[k >> 1] != 0;
}

// Runs the 20 sweeps on X with the right-hand side B. general(im, ip, jm, jp, k) gives the new
// value of the W cells at skewed offset k from their neighbours (i - 1, j), (i + 1, j), (i, j - 1)
// and (i, j + 1); plain(...) gives the same for cells clear of obstacles, which all cells are
// except those set in special.
template <class General, class Plain>
void run_sweeps(double* X, const double* B, int edge_mode, const SkewMask& special,
                const General& general, const Plain& plain) {
    constexpr int R = SKEW_ROWS;
    const bool copy = edge_mode == EDGE_COPY;
    for (int turn = 0; turn <= SWEEPS; ++turn) {
        const bool partial = turn == 0 || turn == SWEEPS;
        for (int r = 0; r < R; ++r) {
            const int k0 = SKEW_FRONT + R * r;
            double* row = X + k0;
            const double* below = X + SKEW_FRONT + R * ((r - 1) & (R - 1));
            const double* above = X + SKEW_FRONT + R * ((r + 1) & (R - 1));
            // A turn runs through both whole arrays, more than the first-level
            // cache holds; the rows the next row reads are fetched ahead.
            const double* next_x = X + SKEW_FRONT + R * ((r + 2) & (R - 1));
            const double* next_b = B + SKEW_FRONT + R * ((r + 1) & (R - 1));
            for (int i = 0; i < R; i += 8) {
                __builtin_prefetch(next_x + i);
                __builtin_prefetch(next_b + i);
            }
            // The vector at position i. The choice between the two forms is
            // the same in every turn, which the branch predictor learns.
            auto cell = [&](int i) {
                const vd im = load(below + i - 1), ip = load(above + i + 1);
                const vd jm = load(below + i), jp = load(above + i);
                if (any_set(special, k0 + i - SKEW_FRONT)) {
                    return general(im, ip, jm, jp, k0 + i);
                }
                return plain(im, ip, jm, jp, k0 + i);
            };
            if (partial) {
                // The first turn stores the interior of diagonal r (its ring
                // cells keep their entry values), the last turn that of
                // diagonal r + 128.
                const int lo = turn == 0 ? 1 : r + 2;
                const int hi = turn == 0 ? r - 1 : GRID_INNER;
                for (int i = lo & -W; i <= hi; i += W) {
                    store_at(row + i, cell(i), lanes_from_bits(range_bits(i, lo, hi)));
                }
                continue;
            }
            for (int i = 0; i < R; i += W) store(row + i, cell(i));
            // The ring cells of this row (corners excepted): (0, r) and (r, 0)
            // on diagonal r, (r + 1, 127) and (127, r + 1) on diagonal r + 128.
            if (r >= 1 && r <= GRID_INNER) {
                row[0] = copy ? above[1] : 0.0;
                row[r] = copy ? above[r] : 0.0;
            }
            if (r + 1 <= GRID_INNER) {
                row[r + 1] = copy ? below[r + 1] : 0.0;
                row[R - 1] = copy ? below[R - 2] : 0.0;
            }
        }
    }
}

// The floats base[index[k]], widened to double.
inline vd gather_floats(const float* base, vi index) {
#if X86_LANES == 8
    return _mm512_maskz_cvtps_pd(
        0xff, _mm256_mask_i32gather_ps(_mm256_setzero_ps(), base, (__m256i)index,
                                       _mm256_castsi256_ps(_mm256_set1_epi32(-1)), 4));
#elif X86_LANES == 4 && defined(__AVX2__)
    // (The masked forms avoid reading undefined registers.)
    return _mm256_cvtps_pd(_mm_mask_i32gather_ps(_mm_setzero_ps(), base, (__m128i)index,
                                                 _mm_castsi128_ps(_mm_set1_epi32(-1)), 4));
#else
    vf f;
    for (int k = 0; k < W; ++k) f[k] = base[index[k]];
    return widen(f);
#endif
}
// The doubles base[index[k]].
inline vd gather_doubles(const double* base, vi index) {
#if X86_LANES == 8
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xff, (__m256i)index, base, 8);
#elif X86_LANES == 4 && defined(__AVX2__)
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, (__m128i)index,
                                    _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
#else
    vd v;
    for (int k = 0; k < W; ++k) v[k] = base[index[k]];
    return v;
#endif
}

// Native field into the skewed array, all cells: position i of row r holds
// cell (i, (r - i) mod 128).
void to_skew(const float* x, double* s) {
    const vi lanes = lane_indices();
    for (int r = 0; r < SKEW_ROWS; ++r) {
        double* row = s + SKEW_FRONT + SKEW_ROWS * r;
        for (int i = 0; i < N; i += W) {
            const vi column = lanes + i;
            store(row + i, gather_floats(x, column + ((r - column) & (N - 1)) * N));
        }
    }
}

// The skewed array back into the native field, interior rows (the ring lanes
// of those rows too; the edge rule that follows sets them).
void from_skew(const double* s, float* x) {
    const vi lanes = lane_indices();
    for (int j = 1; j <= GRID_INNER; ++j) {
        for (int i = 0; i < N; i += W) {
            const vi column = lanes + i;
            const vi at = SKEW_FRONT + ((column + j) & (SKEW_ROWS - 1)) * SKEW_ROWS + column;
            store_float(x + N * j + i, gather_doubles(s, at));
        }
    }
}

// ---------------------------------------------------------------------------
// The kernels.

void accumulate_source(float* target, const float* source, float dt) {
    const vd step = splat(dt);
    for (int k = 0; k < FIELD_SIZE; k += W) {
        store_float(target + k, load_float(target + k) + step * load_float(source + k));
    }
}

// How a diffusion sweep divides by its denominator.
enum class Division {
    none,        // the denominator is exactly 1: nothing to do
    exact,       // plain division
    reciprocal,  // multiplication by 1 / denominator where that rounds the same
};

#if X86_LANES == 8
// num / den, for den in (1, 1e300), with the reciprocal r = 1 / den. The
// product num * r lies within 3 double ulps of the quotient, so both round to
// the same float unless a float rounding boundary (a midpoint between two
// floats, whose low 29 mantissa bits are 1 followed by zeros) is within a few
// ulps, or the value is in or near the float subnormal range, where the
// boundaries lie elsewhere; only those vectors are divided. Zeros,
// infinities and NaN come out the same either way.
inline vd divide_for_float(vd num, vd den, vd r) {
    const vd q = num * r;
    const __m512i bits = _mm512_castpd_si512(q);
    const __m512i low = _mm512_and_epi64(_mm512_add_epi64(bits, _mm512_set1_epi64(8 - 0x10000000)),
                                         _mm512_set1_epi64(0x1fffffff));
    const __mmask8 near_midpoint = _mm512_cmple_epu64_mask(low, _mm512_set1_epi64(16));
    // Magnitude below 2^-125 (biased exponent 898) and not zero.
    const __m512i magnitude =
        _mm512_sub_epi64(_mm512_maskz_slli_epi64(0xff, bits, 1), _mm512_set1_epi64(1));
    const __mmask8 tiny = _mm512_cmplt_epu64_mask(magnitude, _mm512_set1_epi64((898ll << 53) - 1));
    if ((near_midpoint | tiny) != 0) return num / den;
    return q;
}
#endif

template <Division division>
void diffuse_sweeps(const float* x0, float* x, int edge_mode, float a) {
    const SkewMasks masks = skew_masks();
    double* X = skew_iterate;
    double* B = skew_rhs;
    to_skew(x, X);
    to_skew(x0, B);
    const vd da = splat(a);
    const double den = (double)a * 4.0 + 1.0;
    const vd denominator = splat(den);
    const vd reciprocal = splat(1.0 / den);
    (void)reciprocal;
    const SkewMask& solid = masks.solid;
    auto value = [&](vd im, vd ip, vd jm, vd jp, int k) {
        const vd sum = ((im + ip) + jm) + jp;
        vd value = load(B + k) + da * sum;
        if (division == Division::exact) value = value / denominator;
#if X86_LANES == 8
        if (division == Division::reciprocal)
            value = divide_for_float(value, denominator, reciprocal);
#endif
        return to_float(value);
    };
    run_sweeps(
        X, B, edge_mode, masks.solid,
        [&](vd im, vd ip, vd jm, vd jp, int k) {
            return zero_at(mask_lanes(solid, k - SKEW_FRONT), value(im, ip, jm, jp, k));
        },
        value);
    from_skew(X, x);
    apply_edges(x, edge_mode);
}

void diffuse(const float* x0, float* x, int edge_mode, float a) {
    const double den = (double)a * 4.0 + 1.0;
    if (den == 1.0) {
        // Division by exactly 1 changes nothing, NaN and signed zeros included.
        diffuse_sweeps<Division::none>(x0, x, edge_mode, a);
    } else if (X86_LANES == 8 && den > 1.0 && den < 1.0e300) {
        diffuse_sweeps<Division::reciprocal>(x0, x, edge_mode, a);
    } else {
        diffuse_sweeps<Division::exact>(x0, x, edge_mode, a);
    }
}

// Advection of F fields d0[f] into d[f] along the same (U, V): the traced
// coordinates and weights are computed once for all of them. No d[f] may be
// an input (d0 may alias U or V).
template <int F>
void advect_fields(float* const* d, const float* const* d0, const float* U, const float* V,
                   int edge_mode, float dt0) {
    const std::int64_t* solid = skew_masks().native_solid;
    const vd step = splat(dt0);
    const vd lo = splat(0.5);
    const vd hi = splat(126.5);
    const vd one = splat(1.0);
    const vd lanes = lane_numbers();
    const bool flip = edge_mode == 1;
    for (int j = 1; j <= GRID_INNER; ++j) {
        const vd y_start = splat(j);
        // Whole rows i = 0 .. 127: the ring lanes are overwritten by the edge
        // rule below, and no d[f] is an input.
        for (int i = 0; i < N; i += W) {
            const int c = i + N * j;
            vd x = to_float((lanes + (double)i) - step * load_float(U + c));
            vd y = to_float(y_start - step * load_float(V + c));
            // Clamp to [0.5, 126.5]: below 0.5 and NaN give 0.5, above 126.5
            // gives 126.5, so the truncation below is always in range.
            x = clamp(x, lo, hi);
            y = clamp(y, lo, hi);
            const vi i0 = __builtin_convertvector(x, vi);
            const vi j0 = __builtin_convertvector(y, vi);
            // x - i0 and 1 - s1 are exact in float (x >= 0.5 and i0 = floor
            // x), so computing them in double needs no rounding.
            const vd s1 = x - whole(x, i0);
            const vd s0 = one - s1;
            const vd t1 = y - whole(y, j0);
            const vd t0 = one - t1;
            const vi k = i0 + j0 * N;
            const vl solid_c = load(solid + c);
            for (int f = 0; f < F; ++f) {
                vd w00, w10, w01, w11;
                gather_pair(d0[f], k, w00, w10);
                gather_pair(d0[f], k + N, w01, w11);
                vd w = to_float(s0 * (t0 * w00 + t1 * w01) + s1 * (t0 * w10 + t1 * w11));
                if (flip) {
                    w = negate_where(towards(w, load(solid + c - N), load(solid + c + N)), w);
                }
                store_float(d[f] + c, zero_where(solid_c, w));
            }
        }
    }
    for (int f = 0; f < F; ++f) apply_edges(d[f], edge_mode);
}

void advect(float* d, const float* d0, const float* U, const float* V, int edge_mode, float dt0) {
    advect_fields<1>(&d, &d0, U, V, edge_mode, dt0);
}

void advect_two(float* d1, const float* d01, float* d2, const float* d02, const float* U,
                const float* V, int edge_mode, float dt0) {
    float* const d[] = {d1, d2};
    const float* const d0[] = {d01, d02};
    advect_fields<2>(d, d0, U, V, edge_mode, dt0);
}

void project(float* U, float* V, float* P, float* DIV) {
    // Grid spacing 1/126 and the divergence factor -0.5 * h, both as floats.
    constexpr float h = 1.0f / 126.0f;
    constexpr float k_div = -0.5f * h;
    const vd vk_div = splat(k_div);
    const vd vh = splat(h);
    const vd half = splat(0.5);
    const vd quarter = splat(0.25);
    const SkewMasks masks = skew_masks();
    const std::int64_t* solid = masks.native_solid;

    // Divergence, whole rows (the ring lanes are set by the edge rule).
    for (int j = 1; j <= GRID_INNER; ++j) {
        for (int i = 0; i < N; i += W) {
            const int c = i + N * j;
            vd q = to_float(
                (((load_float(U + c + 1) - load_float(U + c - 1)) + load_float(V + c + N)) -
                 load_float(V + c - N)) *
                vk_div);
            q = negate_where(towards(q, load(solid + c - 1), load(solid + c + 1)), q);
            store_float(DIV + c, zero_where(load(solid + c), q));
        }
    }
    apply_edges(DIV, EDGE_COPY);

    // Pressure: starts at zero everywhere, ring included.
    double* X = skew_iterate;
    double* B = skew_rhs;
    to_skew(DIV, B);
    std::memset(X, 0, sizeof skew_iterate);
    auto pressure = [&](vd im, vd ip, vd jm, vd jp, int k) {
        return to_float(((((load(B + k) + im) + ip) + jm) + jp) * quarter);
    };
    run_sweeps(
        X, B, EDGE_COPY, masks.any,
        [&](vd im, vd ip, vd jm, vd jp, int k) {
            const int b = k - SKEW_FRONT;
            const vd p =
                flip_towards(pressure(im, ip, jm, jp, k), mask_lanes(masks.solid_below_j, b),
                             mask_lanes(masks.solid_above_j, b));
            return zero_at(mask_lanes(masks.solid, b), p);
        },
        pressure);
    from_skew(X, P);
    apply_edges(P, EDGE_COPY);

    // Gradient subtraction, whole rows (ring lanes again left to the edge rule).
    for (int j = 1; j <= GRID_INNER; ++j) {
        for (int i = 0; i < N; i += W) {
            const int c = i + N * j;
            const vl solid_c = load(solid + c);
            const vd g = to_float(half * (load_float(P + c + 1) - load_float(P + c - 1)) / vh);
            const vd u = load_float(U + c);
            const vl turn_u = towards(g, load(solid + c - N), load(solid + c + N));
            store_float(U + c, zero_where(solid_c, select(turn_u, u + g, u - g)));
            const vd g2 = to_float(half * (load_float(P + c + N) - load_float(P + c - N)) / vh);
            const vd v = load_float(V + c);
            const vl turn_v = towards(g2, load(solid + c - 1), load(solid + c + 1));
            store_float(V + c, zero_where(solid_c, select(turn_v, v + g2, v - g2)));
        }
    }
    apply_edges(U, EDGE_COPY);
    apply_edges(V, EDGE_COPY);
}

}  // namespace

/// This level's kernel set.
constexpr KernelSet kernel_set = {accumulate_source, diffuse, advect, advect_two, project};

}  // namespace fluid::detail::KERNEL_NAMESPACE
