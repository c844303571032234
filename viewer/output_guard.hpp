// output_guard.hpp - start-up protection of the standard streams.
#pragma once

namespace fluid {

/// Opens /dev/null onto any of descriptors 0, 1 and 2 that is not open, and
/// ignores SIGPIPE. Runs before anything else opens a descriptor.
void guard_standard_streams();

}  // namespace fluid
