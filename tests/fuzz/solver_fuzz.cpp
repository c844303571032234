// solver_fuzz.cpp - libFuzzer target: any state of the seven fields, stepped.
//
// The input describes the six float fields (any bit patterns: NaN, infinity,
// subnormals, huge values) and obstacles anywhere in the interior; the state
// is then advanced by a few frames, twice from the same start. Both runs must
// give the same bits, the obstacle mask must be left as it was, and the
// sanitizers check that nothing on the way is undefined or out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fluid.hpp"

namespace {

using fluid::FIELD_SIZE;

// Reads the input from the front, wrapping around at its end.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() {
        const std::uint8_t b = data_[at_];
        at_ = (at_ + 1) % size_;
        return b;
    }
    std::uint16_t u16() { return (std::uint16_t)(byte() | byte() << 8); }
    float bits() {
        const std::uint32_t w = (std::uint32_t)u16() | (std::uint32_t)u16() << 16;
        float f;
        std::memcpy(&f, &w, sizeof f);
        return f;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// One float field, in one of three ways chosen by a control byte: zero with
// a few values placed anywhere (ring included), one value everywhere, or the
// input's bit patterns repeated over the whole field.
void fill_field(float* f, Reader& in) {
    const std::uint8_t control = in.byte();
    switch (control % 3) {
        case 0: {
            std::memset(f, 0, sizeof(float) * FIELD_SIZE);
            const int count = control / 3 % 32;
            for (int k = 0; k < count; ++k) {
                const int cell = in.u16() % FIELD_SIZE;
                f[cell] = in.bits();
            }
            break;
        }
        case 1: {
            const float value = in.bits();
            for (int k = 0; k < FIELD_SIZE; ++k) f[k] = value;
            break;
        }
        default:
            for (int k = 0; k < FIELD_SIZE; ++k) f[k] = in.bits();
            break;
    }
}

// Obstacles at interior cells only, as the pointer places them: a list of
// cells, or a share of all interior cells picked by a small generator.
void fill_obstacles(Reader& in) {
    std::memset(fluid::obstacle, 0, sizeof fluid::obstacle);
    const std::uint8_t control = in.byte();
    if (control % 2 == 0) {
        const int count = control / 2;
        for (int k = 0; k < count; ++k) {
            const int i = 1 + in.byte() % fluid::GRID_INNER;
            const int j = 1 + in.byte() % fluid::GRID_INNER;
            fluid::obstacle[fluid::cell_index(i, j)] = 1;
        }
    } else {
        std::uint32_t x = in.u16() | 1u;
        const std::uint32_t share = control / 2;  // out of 128
        for (int j = 1; j <= fluid::GRID_INNER; ++j) {
            for (int i = 1; i <= fluid::GRID_INNER; ++i) {
                x = x * 1664525u + 1013904223u;
                fluid::obstacle[fluid::cell_index(i, j)] = (x >> 25) < share ? 1 : 0;
            }
        }
    }
}

struct Snapshot {
    float fields[6][FIELD_SIZE];
    std::int32_t obstacle[FIELD_SIZE];
};

float* const fields[6] = {fluid::u,     fluid::v,       fluid::u_src,
                          fluid::v_src, fluid::density, fluid::density_src};

void save(Snapshot& s) {
    for (int k = 0; k < 6; ++k) std::memcpy(s.fields[k], fields[k], sizeof s.fields[k]);
    std::memcpy(s.obstacle, fluid::obstacle, sizeof s.obstacle);
}

void load(const Snapshot& s) {
    for (int k = 0; k < 6; ++k) std::memcpy(fields[k], s.fields[k], sizeof s.fields[k]);
    std::memcpy(fluid::obstacle, s.obstacle, sizeof s.obstacle);
}

void run(int frames) {
    for (int k = 0; k < frames; ++k) {
        fluid::step_velocity(fluid::time_step);
        fluid::step_density(fluid::diffusion_rate, fluid::time_step);
    }
}

Snapshot start, first, second;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Reader in(data, size);
    const int frames = 1 + in.byte() % 3;
    for (float* f : fields) fill_field(f, in);
    fill_obstacles(in);
    save(start);

    run(frames);
    save(first);
    load(start);
    run(frames);
    save(second);

    // The same start gives the same bits, NaN payloads included.
    if (std::memcmp(&first, &second, sizeof first) != 0) __builtin_trap();
    // The solver reads the mask and never writes it.
    if (std::memcmp(first.obstacle, start.obstacle, sizeof start.obstacle) != 0) __builtin_trap();
    return 0;
}
