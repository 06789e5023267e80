#include "platform/foundation/NSData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/ByteDescription.h"

namespace {
[[noreturn]] void raiseRange(const char* method, NSRange range, NSUInteger length) {
  zvt::raise(NSRangeException, zvt::format("-[NSData %s]: range {%lu, %lu} exceeds data length %lu",
                                           {method, range.location, range.length, length}));
}
bool inside(NSRange range, NSUInteger length) {
  return range.location <= length && range.length <= length - range.location;
}
}  // namespace

const uint8_t* NSData::emptyBytes() {
  static const uint8_t empty[1] = {0};
  return empty;
}

std::shared_ptr<NSData> NSData::data() { return std::make_shared<NSData>(); }

std::shared_ptr<NSData> NSData::dataWithBytes(const void* bytes, NSUInteger length) {
  if (!bytes && length) zvt::raise(NSInvalidArgumentException, "-[NSData initWithBytes:length:]: null bytes");
  const auto* p = static_cast<const uint8_t*>(bytes);
  return std::make_shared<NSData>(std::vector<uint8_t>(p, p + length));
}

std::shared_ptr<NSData> NSData::dataWithData(const std::shared_ptr<NSData>& other) {
  if (!other) return data();
  return std::make_shared<NSData>(other->vector());
}

std::shared_ptr<NSData> NSData::dataWithVector(std::vector<uint8_t> bytes) { return std::make_shared<NSData>(std::move(bytes)); }

std::shared_ptr<NSData> NSData::dataWithMallocBlock(void* block, NSUInteger length) {
  if (!block) {
    if (length) zvt::raise(NSInvalidArgumentException, "-[NSData initWithBytesNoCopy:length:]: null bytes");
    return data();
  }
  std::unique_ptr<uint8_t, FreeBlock> owned(static_cast<uint8_t*>(block));
  auto d = std::make_shared<NSData>();
  d->block_ = std::move(owned);
  d->blockLength_ = length;
  return d;
}

std::shared_ptr<NSData> NSData::dataWithString(std::string_view bytes) { return dataWithBytes(bytes.data(), bytes.size()); }

std::shared_ptr<NSData> NSData::dataWithContentsOfFile(const std::shared_ptr<NSString>& path) {
  if (!path) return nullptr;
  // One read of the whole file where its size is known (a character at a time through a stream
  // cost more than decoding a large picture read from the disk cache); files that grow or
  // report no size are read on until their end.
  int fd = ::open(path->utf8().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  size_t expected = 0;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) expected = static_cast<size_t>(status.st_size);
  std::vector<uint8_t> bytes(expected + 1);
  size_t size = 0;
  for (;;) {
    if (size == bytes.size()) bytes.resize(std::max<size_t>(bytes.size() * 2, 64 * 1024));
    ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return nullptr;
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(size);
  return dataWithVector(std::move(bytes));
}

void NSData::getBytes(void* buffer, NSUInteger length) const {
  std::memcpy(buffer, bytes(), std::min<NSUInteger>(length, this->length()));
}

void NSData::getBytes(void* buffer, NSRange range) const {
  if (!inside(range, length())) raiseRange("getBytes:range:", range, length());
  if (range.length) std::memcpy(buffer, bytes() + range.location, range.length);
}

std::shared_ptr<NSData> NSData::subdataWithRange(NSRange range) const {
  if (!inside(range, length())) raiseRange("subdataWithRange:", range, length());
  return dataWithVector(std::vector<uint8_t>(bytes() + range.location, bytes() + NSMaxRange(range)));
}

NSRange NSData::rangeOfData(const std::shared_ptr<NSData>& other, NSRange searchRange) const {
  if (!other) zvt::raise(NSInvalidArgumentException, "-[NSData rangeOfData:options:range:]: nil data");
  if (!inside(searchRange, length())) raiseRange("rangeOfData:options:range:", searchRange, length());
  const NSRange notFound{static_cast<NSUInteger>(NSNotFound), 0};
  if (other->length() == 0) return notFound;
  std::string_view hay = view().substr(searchRange.location, searchRange.length);
  size_t at = hay.find(other->view());
  if (at == std::string_view::npos) return notFound;
  return NSMakeRange(searchRange.location + at, other->length());
}

bool NSData::isEqualToData(const std::shared_ptr<NSData>& other) const { return other && other->view() == view(); }

bool NSData::writeToFile(const std::shared_ptr<NSString>& path, bool atomically) const {
  if (!path) return false;
  std::string target = path->utf8();
  std::string temp = atomically ? target + ".tmp-" + std::to_string(::getpid()) + "-" +
                                      std::to_string(reinterpret_cast<uintptr_t>(this))
                                : target;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const uint8_t* p = bytes();
  size_t left = length();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && atomically && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (!atomically) return ok;
  if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::shared_ptr<NSString> NSData::description() const {
  return NSString::fromValidUTF8(zvt::bytesDescription(vector()));
}

bool NSData::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto* d = dynamic_cast<const NSData*>(other.get());
  return d && d->view() == view();
}

NSUInteger NSData::hash() const {
  // Foundation hashes at most the first 80 bytes; the length goes in too.
  return std::hash<std::string_view>{}(view().substr(0, 80)) ^ length();
}

id NSData::copyWithZone() const { return self(); }
id NSData::mutableCopyWithZone() const { return std::make_shared<NSMutableData>(vector()); }
std::shared_ptr<NSData> NSData::copy() const { return std::static_pointer_cast<NSData>(copyWithZone()); }
std::shared_ptr<NSMutableData> NSData::mutableCopy() const {
  return std::static_pointer_cast<NSMutableData>(mutableCopyWithZone());
}

std::shared_ptr<NSMutableData> NSMutableData::data() { return std::make_shared<NSMutableData>(); }

std::shared_ptr<NSMutableData> NSMutableData::dataWithCapacity(NSUInteger capacity) {
  auto d = std::make_shared<NSMutableData>();
  d->bytes_.reserve(capacity);
  return d;
}

std::shared_ptr<NSMutableData> NSMutableData::dataWithLength(NSUInteger length) {
  return std::make_shared<NSMutableData>(std::vector<uint8_t>(length, 0));
}

std::shared_ptr<NSMutableData> NSMutableData::dataWithBytes(const void* bytes, NSUInteger length) {
  auto d = std::make_shared<NSMutableData>();
  d->appendBytes(bytes, length);
  return d;
}

std::shared_ptr<NSMutableData> NSMutableData::dataWithData(const std::shared_ptr<NSData>& other) {
  return std::make_shared<NSMutableData>(other ? other->vector() : std::vector<uint8_t>());
}

void NSMutableData::appendBytes(const void* bytes, NSUInteger length) {
  if (!length) return;
  if (!bytes) zvt::raise(NSInvalidArgumentException, "-[NSMutableData appendBytes:length:]: null bytes");
  const auto* p = static_cast<const uint8_t*>(bytes);
  bytes_.insert(bytes_.end(), p, p + length);
}

void NSMutableData::appendData(const std::shared_ptr<NSData>& other) {
  if (!other) return;
  if (other.get() == this) {
    std::vector<uint8_t> twice = bytes_;
    bytes_.insert(bytes_.end(), twice.begin(), twice.end());
    return;
  }
  bytes_.insert(bytes_.end(), other->bytes(), other->bytes() + other->length());
}

void NSMutableData::setLength(NSUInteger length) { bytes_.resize(length, 0); }

void NSMutableData::replaceBytesInRange(NSRange range, const void* bytes) {
  if (!inside(NSMakeRange(range.location, 0), bytes_.size())) raiseRange("replaceBytesInRange:withBytes:", range, bytes_.size());
  if (NSMaxRange(range) > bytes_.size()) bytes_.resize(NSMaxRange(range), 0);
  if (range.length) std::memmove(bytes_.data() + range.location, bytes, range.length);
}

void NSMutableData::replaceBytesInRange(NSRange range, const void* bytes, NSUInteger length) {
  if (!inside(range, bytes_.size())) raiseRange("replaceBytesInRange:withBytes:length:", range, bytes_.size());
  const auto* p = static_cast<const uint8_t*>(bytes);
  std::vector<uint8_t> replacement(p, p + (p ? length : 0));
  auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(range.location);
  bytes_.erase(first, first + static_cast<std::ptrdiff_t>(range.length));
  bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(range.location), replacement.begin(), replacement.end());
}

void NSMutableData::resetBytesInRange(NSRange range) {
  if (!inside(NSMakeRange(range.location, 0), bytes_.size())) raiseRange("resetBytesInRange:", range, bytes_.size());
  if (NSMaxRange(range) > bytes_.size()) bytes_.resize(NSMaxRange(range), 0);
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(range.location), range.length, 0);
}

void NSMutableData::setData(const std::shared_ptr<NSData>& other) {
  if (other.get() == this) return;
  bytes_ = other ? other->vector() : std::vector<uint8_t>();
}

id NSMutableData::copyWithZone() const { return std::make_shared<NSData>(bytes_); }
