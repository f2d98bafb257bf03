#include "lzx/check.h"

#include <cstring>
#include <new>

#include "lzx/codec/bits.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

static_assert(sizeof(XXH64_state_t) <= sizeof(CheckStream::state));
static_assert(alignof(XXH64_state_t) <= alignof(CheckStream));

namespace {
XXH64_state_t *State(CheckStream *s) { return reinterpret_cast<XXH64_state_t *>(s->state); }
const XXH64_state_t *State(const CheckStream *s) { return reinterpret_cast<const XXH64_state_t *>(s->state); }
} // namespace

std::uint32_t BlockCheck(const std::uint8_t *block) {
  return static_cast<std::uint32_t>(XXH3_64bits(block, kBlockSize));
}

std::uint32_t StoredCheck(const std::uint8_t *stored, std::int32_t size) {
  return static_cast<std::uint32_t>(XXH3_64bits(stored, static_cast<std::size_t>(size)));
}

void CheckStreamStart(CheckStream *s, std::uint64_t seed) {
  new (s->state) XXH64_state_t;
  XXH64_reset(State(s), seed);
}

void CheckStreamAdd(CheckStream *s, const void *bytes, std::int32_t count) {
  XXH64_update(State(s), bytes, static_cast<std::size_t>(count));
}

std::uint64_t CheckStreamValue(const CheckStream *s) { return XXH64_digest(State(s)); }
