#include "lzx/check.h"

#include <cstring>
#include <new>

#include "lzx/codec/bits.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

static_assert(sizeof(XXH64_state_t) <= sizeof(CheckStream::state));
static_assert(alignof(XXH64_state_t) <= alignof(CheckStream));

#ifdef VORN_XXH3_AVX2
std::uint64_t Xxh3Avx2(const void *bytes, std::size_t size); // lzx/check_avx2.cpp
#endif

namespace {

std::uint64_t Xxh3(const void *bytes, std::size_t size) {
#ifdef VORN_XXH3_AVX2
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  if (avx2) return Xxh3Avx2(bytes, size);
#endif
  return XXH3_64bits(bytes, size);
}

XXH64_state_t *State(CheckStream *s) { return reinterpret_cast<XXH64_state_t *>(s->state); }
const XXH64_state_t *State(const CheckStream *s) { return reinterpret_cast<const XXH64_state_t *>(s->state); }
} // namespace

std::uint32_t BlockCheck(const std::uint8_t *block) {
  return static_cast<std::uint32_t>(Xxh3(block, kBlockSize));
}

std::uint32_t StoredCheck(const std::uint8_t *stored, std::int32_t size) {
  return static_cast<std::uint32_t>(Xxh3(stored, static_cast<std::size_t>(size)));
}

void CheckStreamStart(CheckStream *s, std::uint64_t seed) {
  new (s->state) XXH64_state_t;
  XXH64_reset(State(s), seed);
}

void CheckStreamAdd(CheckStream *s, const void *bytes, std::int32_t count) {
  XXH64_update(State(s), bytes, static_cast<std::size_t>(count));
}

std::uint64_t CheckStreamValue(const CheckStream *s) { return XXH64_digest(State(s)); }
