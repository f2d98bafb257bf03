// XXH3-64 built for AVX2, chosen at run time by lzx/check.cpp where the
// processor has it (about three times the speed of the SSE2 build). Only
// xxHash's own static functions are compiled here, so no code built for AVX2
// can be reached on a processor without it.
#include <cstddef>
#include <cstdint>

#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_AVX2
#include <xxhash.h>

std::uint64_t Xxh3Avx2(const void *bytes, std::size_t size) { return XXH3_64bits(bytes, size); }
