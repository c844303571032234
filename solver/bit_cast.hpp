// bit_cast.hpp - the bits of a float as an integer and back. fluid::bit_cast
// where the C++ library has it; the web toolchain's library lacks it.
#pragma once

#include <cstring>
#include <type_traits>
#if __has_include(<bit>)
#include <bit>
#endif

namespace fluid {

template <class To, class From>
inline To bit_cast(const From& from) {
    static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<From>);
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
#endif
}

}  // namespace fluid
