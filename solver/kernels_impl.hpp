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
// unit or to scalar code.
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
#else
    return __builtin_convertvector(x, vf);
#endif
}
inline vd widen(vf x) {
#if X86_LANES == 8
    return _mm512_maskz_cvtps_pd(0xff, x);
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
// Stores lanes first .. last of v (0 <= first <= last < W), leaving the
// others.
inline void store_lanes(double* p, vd v, int first, int last) {
#if X86_LANES == 8
    _mm512_mask_storeu_pd(p, (__mmask8)((2u << last) - (1u << first)), v);
#elif X86_LANES == 4 && defined(__AVX2__)
    const __m256i lanes = _mm256_set_epi64x(3, 2, 1, 0);
    const __m256i keep = _mm256_and_si256(_mm256_cmpgt_epi64(lanes, _mm256_set1_epi64x(first - 1)),
                                          _mm256_cmpgt_epi64(_mm256_set1_epi64x(last + 1), lanes));
    _mm256_maskstore_pd(p, keep, v);
#else
    for (int k = first; k <= last; ++k) p[k] = v[k];
#endif
}

// ---------------------------------------------------------------------------
// Gauss-Seidel sweeps in the skewed layout.
//
// Sweep s computes diagonal d at time t = d + 2 s: it needs diagonal d - 1 of
// the same sweep (time t - 1) and diagonal d + 1 of the previous sweep (time
// t - 1), and the previous sweep has not yet overwritten diagonal d - 1 with
// anything newer. All diagonals of one time step are therefore independent,
// and several sweeps run interleaved in one pass over the field.
//
// The edge rule between sweeps is folded in: a ring cell is read only by the
// interior cell next to it, and what the edge rule puts there is that cell's
// previous value (copy mode) or 0 (zero mode), which is substituted when the
// cell is computed. The corners are never read by a sweep; the edge rule on
// the native field at the end sets them and the ring.

constexpr int SWEEPS = 20;

// Sweeps run in passes of this many, interleaved: enough independent
// diagonals to hide the latency of one update, few enough to keep the rows
// in use close in cache.
constexpr int SWEEPS_PER_PASS = 5;
static_assert(SWEEPS % SWEEPS_PER_PASS == 0);

// All bits set in lane n only.
inline vl lane_is(int n) {
    vl lanes;
    for (int k = 0; k < W; ++k) lanes[k] = k;
    return (vl)(lanes == n);
}

// Runs the 20 sweeps on X. general(im, ip, jm, jp, k) gives the new value of
// the W cells at skewed position k from their neighbours (i - 1, j),
// (i + 1, j), (i, j - 1) and (i, j + 1); plain(...) gives the same for cells
// clear of obstacles, which every cell of diagonal d outside i = first[d] ..
// last[d] is.
template <class General, class Plain>
void run_sweeps(double* X, int edge_mode, const int* first_special, const int* last_special,
                const General& general, const Plain& plain) {
    const bool copy = edge_mode == EDGE_COPY;
    for (int pass = 0; pass < SWEEPS / SWEEPS_PER_PASS; ++pass) {
        for (int t = 2; t <= 252 + 2 * (SWEEPS_PER_PASS - 1); ++t) {
            for (int s = 0; s < SWEEPS_PER_PASS; ++s) {
                const int d = t - 2 * s;
                if (d > 252) continue;
                if (d < 2) break;
                const int lo = d <= 127 ? 1 : d - 126;
                const int hi = d <= 127 ? d - 1 : 126;
                const int k0 = skew_row[d];
                double* row = X + k0;
                const double* below = X + skew_row[d - 1];
                const double* above = X + skew_row[d + 1];
                auto chunk = [&](const auto& cell, int i) {
                    return cell(load(below + i - 1), load(above + i + 1), load(below + i),
                                load(above + i), k0 + i);
                };
                // The first sweep reads the ring as it was on entry. Later
                // ones read what the edge rule made of the previous sweep:
                // the ring cell next to (1, j) is (1, j)'s previous value in
                // copy mode and 0 in zero mode, and so on for the other sides.
                // That value is substituted for the ring neighbour of the
                // diagonal's end cells, so the ring itself is never updated
                // (the edge rule on the native field at the end sets it).
                const bool edge_rule = pass > 0 || s > 0;
                auto end_chunk = [&](const auto& cell, int i, bool has_lo, bool has_hi) {
                    vd im = load(below + i - 1), ip = load(above + i + 1);
                    vd jm = load(below + i), jp = load(above + i);
                    if (edge_rule) {
                        const vd ring = copy ? load(row + i) : vd{};
                        if (has_lo) {
                            // (1, d - 1) reads (0, d - 1); (d - 126, 126) reads (d - 126, 127).
                            const vl m = lane_is(lo - i);
                            if (d <= 127) im = select(m, ring, im);
                            if (d >= 127) jp = select(m, ring, jp);
                        }
                        if (has_hi) {
                            // (d - 1, 1) reads (d - 1, 0); (126, d - 126) reads (127, d - 126).
                            const vl m = lane_is(hi - i);
                            if (d <= 127) jm = select(m, ring, jm);
                            if (d >= 127) ip = select(m, ring, ip);
                        }
                    }
                    return cell(im, ip, jm, jp, k0 + i);
                };
                // Whether the vector at i reaches a special cell.
                auto special = [&](int i) {
                    return i + W - 1 >= first_special[d] && i <= last_special[d];
                };
                // Aligned vectors; lanes outside lo .. hi are not stored.
                const int first_at = lo & -W;
                const int last_at = hi & -W;
                const bool one = first_at == last_at;
                const vd r = special(first_at) ? end_chunk(general, first_at, true, one)
                                               : end_chunk(plain, first_at, true, one);
                store_lanes(row + first_at, r, lo - first_at, one ? hi - first_at : W - 1);
                if (one) continue;
                // Whole vectors: plain ones before and after those that
                // reach a special cell.
                const int special_from = first_special[d] & -W;
                const int special_to = last_special[d];
                int i = first_at + W;
                for (; i < last_at && i < special_from; i += W) store(row + i, chunk(plain, i));
                for (; i < last_at && i <= special_to; i += W) store(row + i, chunk(general, i));
                for (; i < last_at; i += W) store(row + i, chunk(plain, i));
                const vd e = special(last_at) ? end_chunk(general, last_at, false, true)
                                              : end_chunk(plain, last_at, false, true);
                store_lanes(row + last_at, e, 0, hi - last_at);
            }
        }
    }
}

// Native field into the skewed array, all cells. Diagonal by diagonal, so
// that the stores are contiguous; cell (i, d - i) is at 128 d - 127 i.
void to_skew(const float* x, double* s) {
    for (int d = 0; d < SKEW_DIAGONALS; ++d) {
        const int first = d < N ? 0 : d - (N - 1);
        const int last = d < N ? d : N - 1;
        double* row = s + skew_row[d];
        for (int i = first; i <= last; ++i) row[i] = x[N * d - (N - 1) * i];
    }
}

// Interior of the skewed array back into the native field. Cell (i, j) is
// at skew_row[i + j] + i = SKEW_FRONT + SKEW_STRIDE j + (SKEW_STRIDE + 1) i.
void from_skew(const double* s, float* x) {
    for (int j = 1; j <= GRID_INNER; ++j) {
        const double* column = s + SKEW_FRONT + SKEW_STRIDE * j;
        float* row = x + N * j;
        for (int i = 1; i <= GRID_INNER; ++i) row[i] = (float)column[(SKEW_STRIDE + 1) * i];
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
    const std::int64_t* solid = masks.solid;
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
        X, edge_mode, masks.solid_first, masks.solid_last,
        [&](vd im, vd ip, vd jm, vd jp, int k) {
            return zero_where(load(solid + k), value(im, ip, jm, jp, k));
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
    for (int d = 0; d < SKEW_DIAGONALS; ++d) {
        const int first = d < N ? 0 : d - (N - 1);
        const int last = d < N ? d : N - 1;
        std::memset(X + skew_row[d] + first, 0, (last - first + 1) * sizeof *X);
    }
    auto pressure = [&](vd im, vd ip, vd jm, vd jp, int k) {
        return to_float(((((load(B + k) + im) + ip) + jm) + jp) * quarter);
    };
    run_sweeps(
        X, EDGE_COPY, masks.any_first, masks.any_last,
        [&](vd im, vd ip, vd jm, vd jp, int k) {
            vd p = pressure(im, ip, jm, jp, k);
            p = negate_where(
                towards(p, load(masks.solid_below_j + k), load(masks.solid_above_j + k)), p);
            return zero_where(load(masks.solid + k), p);
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
