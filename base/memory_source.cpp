#include <cstring>

#include "base/byte_source.h"

bool memory_source::seek(std::int64_t delta) {
  const std::int64_t target = static_cast<std::int64_t>(position_) + delta;
  if (target < 0 || static_cast<std::uint64_t>(target) > bytes_.size()) return false;
  position_ = static_cast<std::uint64_t>(target);
  return true;
}

std::int64_t memory_source::seek_end() {
  position_ = bytes_.size();
  return static_cast<std::int64_t>(position_);
}

bool memory_source::read(void* buffer, std::size_t count) {
  if (count > bytes_.size() - position_) return false;
  if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return true;
}
