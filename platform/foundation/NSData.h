#pragma once
// Byte buffers.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSData : public NSObject {
 public:
  NSData() = default;
  explicit NSData(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  static std::shared_ptr<NSData> data();
  static std::shared_ptr<NSData> dataWithBytes(const void* bytes, NSUInteger length);
  static std::shared_ptr<NSData> dataWithData(const std::shared_ptr<NSData>& other);
  // Takes the vector over without copying.
  static std::shared_ptr<NSData> dataWithVector(std::vector<uint8_t> bytes);
  // Takes over a block from std::malloc holding `length` bytes, without copying; it is released
  // with std::free. For writers that grow their output in a block of their own.
  static std::shared_ptr<NSData> dataWithMallocBlock(void* block, NSUInteger length);
  static std::shared_ptr<NSData> dataWithString(std::string_view bytes);
  // nil when the file cannot be read.
  static std::shared_ptr<NSData> dataWithContentsOfFile(const std::shared_ptr<NSString>& path);

  NSUInteger length() const { return block_ ? blockLength_ : bytes_.size(); }
  // Never null, even when empty.
  const uint8_t* bytes() const {
    if (block_) return block_.get();
    return bytes_.empty() ? emptyBytes() : bytes_.data();
  }
  // A copy of the bytes.
  std::vector<uint8_t> vector() const { return {bytes(), bytes() + length()}; }
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes()), length()}; }
  void getBytes(void* buffer, NSUInteger length) const;
  // Raises NSRangeException beyond the end.
  void getBytes(void* buffer, NSRange range) const;
  std::shared_ptr<NSData> subdataWithRange(NSRange range) const;
  NSRange rangeOfData(const std::shared_ptr<NSData>& other, NSRange searchRange) const;
  bool isEqualToData(const std::shared_ptr<NSData>& other) const;
  // Writes to a temporary file and renames it over the path when atomically.
  bool writeToFile(const std::shared_ptr<NSString>& path, bool atomically) const;

  // "<48656c6c 6f>": hexadecimal bytes in groups of four.
  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSData> copy() const;
  std::shared_ptr<class NSMutableData> mutableCopy() const;

 protected:
  static const uint8_t* emptyBytes();
  struct FreeBlock {
    void operator()(uint8_t* block) const { std::free(block); }
  };
  // The bytes are in bytes_, or (only in an immutable NSData) in an adopted block.
  std::vector<uint8_t> bytes_;
  std::unique_ptr<uint8_t, FreeBlock> block_;
  NSUInteger blockLength_ = 0;
};

class NSMutableData : public NSData {
 public:
  using NSData::NSData;
  static std::shared_ptr<NSMutableData> data();
  static std::shared_ptr<NSMutableData> dataWithCapacity(NSUInteger capacity);
  static std::shared_ptr<NSMutableData> dataWithLength(NSUInteger length);
  static std::shared_ptr<NSMutableData> dataWithBytes(const void* bytes, NSUInteger length);
  static std::shared_ptr<NSMutableData> dataWithData(const std::shared_ptr<NSData>& other);

  uint8_t* mutableBytes() { return bytes_.empty() ? nullptr : bytes_.data(); }
  std::vector<uint8_t>& mutableVector() { return bytes_; }
  void appendBytes(const void* bytes, NSUInteger length);
  void appendData(const std::shared_ptr<NSData>& other);
  void appendString(std::string_view bytes) { appendBytes(bytes.data(), bytes.size()); }
  // New bytes are zero.
  void setLength(NSUInteger length);
  void increaseLengthBy(NSUInteger extraLength) { setLength(length() + extraLength); }
  void replaceBytesInRange(NSRange range, const void* bytes);
  void replaceBytesInRange(NSRange range, const void* bytes, NSUInteger length);
  void resetBytesInRange(NSRange range);
  void setData(const std::shared_ptr<NSData>& other);

  id copyWithZone() const override;
};
