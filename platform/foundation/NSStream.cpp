#include "platform/foundation/NSStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"

namespace {

std::shared_ptr<NSError> posixError(int code, const std::string& path) {
  auto underlying = NSError::errorWithDomain(NSPOSIXErrorDomain, code);
  auto info = NSDictionary::make({{NSFilePathErrorKey, NSString::stringWithUTF8String(path)},
                                  {NSUnderlyingErrorKey, underlying},
                                  {NSLocalizedDescriptionKey, NSString::stringWithUTF8String(std::strerror(code))}});
  return NSError::errorWithDomain(NSPOSIXErrorDomain, code, info);
}

std::shared_ptr<NSError> notOpenError() {
  return NSError::errorWithDomain(NSPOSIXErrorDomain, EBADF,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, "The stream is not open."_ns}}));
}

class DataInputStream final : public NSInputStream {
 public:
  explicit DataInputStream(std::shared_ptr<NSData> data) : data_(data ? data->copy() : NSData::data()) {}
  NSInteger read(uint8_t* buffer, NSUInteger maxLength) override {
    std::lock_guard lock(streamMutex_);
    if (status_ == NSStreamStatusAtEnd || status_ == NSStreamStatusClosed) return 0;
    if (status_ != NSStreamStatusOpen) {
      if (status_ != NSStreamStatusError) failWith(notOpenError());
      return -1;
    }
    NSUInteger left = data_->length() - offset_;
    NSUInteger n = std::min(left, maxLength);
    if (n) std::memcpy(buffer, data_->bytes() + offset_, n);
    offset_ += n;
    if (offset_ == data_->length()) setStatus(NSStreamStatusAtEnd);
    return static_cast<NSInteger>(n);
  }
  bool hasBytesAvailable() const override {
    std::lock_guard lock(streamMutex_);
    return status_ == NSStreamStatusOpen && offset_ < data_->length();
  }
  void open() override {
    std::lock_guard lock(streamMutex_);
    if (status_ != NSStreamStatusNotOpen) return;
    setStatus(data_->length() ? NSStreamStatusOpen : NSStreamStatusAtEnd);
  }

 private:
  std::shared_ptr<NSData> data_;
  NSUInteger offset_ = 0;
};

// What a stream over a file descriptor does the same whether it reads or writes: opening the
// file with the flags it is made with, closing it, and telling its current offset.
template <class Base>
class FileStream : public Base {
 public:
  FileStream(std::string path, int flags) : path_(std::move(path)), flags_(flags) {}
  ~FileStream() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void open() override {
    std::lock_guard lock(this->streamMutex_);
    if (this->status_ != NSStreamStatusNotOpen) return;
    fd_ = ::open(path_.c_str(), flags_ | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      this->failWith(posixError(errno, path_));
      return;
    }
    this->setStatus(NSStreamStatusOpen);
  }
  void close() override {
    std::lock_guard lock(this->streamMutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    Base::close();
  }
  id propertyForKey(const std::shared_ptr<NSString>& key) const override {
    std::lock_guard lock(this->streamMutex_);
    if (key && key->isEqualToString(NSStreamFileCurrentOffsetKey.get()) && fd_ >= 0) {
      return NSNumber::numberWithLongLong(::lseek(fd_, 0, SEEK_CUR));
    }
    return nullptr;
  }

 protected:
  std::string path_;
  int flags_;
  int fd_ = -1;
};

class FileInputStream final : public FileStream<NSInputStream> {
 public:
  explicit FileInputStream(std::string path) : FileStream(std::move(path), O_RDONLY) {}
  NSInteger read(uint8_t* buffer, NSUInteger maxLength) override {
    std::lock_guard lock(streamMutex_);
    if (status_ == NSStreamStatusAtEnd || status_ == NSStreamStatusClosed) return 0;
    if (status_ != NSStreamStatusOpen) {
      if (status_ != NSStreamStatusError) failWith(notOpenError());
      return -1;
    }
    if (maxLength == 0) return 0;
    ssize_t n;
    do {
      n = ::read(fd_, buffer, maxLength);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      failWith(posixError(errno, path_));
      return -1;
    }
    if (n == 0) setStatus(NSStreamStatusAtEnd);
    return n;
  }
  bool hasBytesAvailable() const override {
    std::lock_guard lock(streamMutex_);
    return status_ == NSStreamStatusOpen;
  }
};

class MemoryOutputStream final : public NSOutputStream {
 public:
  NSInteger write(const uint8_t* buffer, NSUInteger maxLength) override {
    std::lock_guard lock(streamMutex_);
    if (status_ != NSStreamStatusOpen) {
      if (status_ != NSStreamStatusError) failWith(notOpenError());
      return -1;
    }
    bytes_.insert(bytes_.end(), buffer, buffer + maxLength);
    return static_cast<NSInteger>(maxLength);
  }
  bool hasSpaceAvailable() const override {
    std::lock_guard lock(streamMutex_);
    return status_ == NSStreamStatusOpen;
  }
  id propertyForKey(const std::shared_ptr<NSString>& key) const override {
    std::lock_guard lock(streamMutex_);
    if (key && key->isEqualToString(NSStreamDataWrittenToMemoryStreamKey.get())) {
      return NSData::dataWithBytes(bytes_.data(), bytes_.size());
    }
    return nullptr;
  }

 private:
  std::vector<uint8_t> bytes_;
};

class BufferOutputStream final : public NSOutputStream {
 public:
  BufferOutputStream(uint8_t* buffer, NSUInteger capacity) : buffer_(buffer), capacity_(capacity) {}
  NSInteger write(const uint8_t* buffer, NSUInteger maxLength) override {
    std::lock_guard lock(streamMutex_);
    if (status_ != NSStreamStatusOpen) {
      if (status_ == NSStreamStatusAtEnd) return 0;
      if (status_ != NSStreamStatusError) failWith(notOpenError());
      return -1;
    }
    NSUInteger n = std::min(maxLength, capacity_ - used_);
    if (n) std::memcpy(buffer_ + used_, buffer, n);
    used_ += n;
    if (used_ == capacity_) setStatus(NSStreamStatusAtEnd);
    return static_cast<NSInteger>(n);
  }
  bool hasSpaceAvailable() const override {
    std::lock_guard lock(streamMutex_);
    return status_ == NSStreamStatusOpen && used_ < capacity_;
  }
  void open() override {
    std::lock_guard lock(streamMutex_);
    if (status_ != NSStreamStatusNotOpen) return;
    setStatus(capacity_ ? NSStreamStatusOpen : NSStreamStatusAtEnd);
  }

 private:
  uint8_t* buffer_;
  NSUInteger capacity_;
  NSUInteger used_ = 0;
};

class FileOutputStream final : public FileStream<NSOutputStream> {
 public:
  FileOutputStream(std::string path, bool append)
      : FileStream(std::move(path), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC)) {}
  NSInteger write(const uint8_t* buffer, NSUInteger maxLength) override {
    std::lock_guard lock(streamMutex_);
    if (status_ != NSStreamStatusOpen) {
      if (status_ != NSStreamStatusError) failWith(notOpenError());
      return -1;
    }
    ssize_t n;
    do {
      n = ::write(fd_, buffer, maxLength);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      failWith(posixError(errno, path_));
      return -1;
    }
    return n;
  }
  bool hasSpaceAvailable() const override {
    std::lock_guard lock(streamMutex_);
    return status_ == NSStreamStatusOpen;
  }
  // Setting the current offset moves there and drops what lies beyond it, so that a download
  // that starts over does not leave old bytes behind.
  bool setProperty(const id& property, const std::shared_ptr<NSString>& key) override {
    std::lock_guard lock(streamMutex_);
    auto offset = std::dynamic_pointer_cast<NSNumber>(property);
    if (!key || !key->isEqualToString(NSStreamFileCurrentOffsetKey.get()) || !offset || fd_ < 0) return false;
    off_t at = static_cast<off_t>(offset->longLongValue());
    if (at < 0 || ::ftruncate(fd_, at) != 0 || ::lseek(fd_, at, SEEK_SET) < 0) return false;
    return true;
  }
};

}  // namespace

// --- NSStream

void NSStream::open() {
  std::lock_guard lock(streamMutex_);
  if (status_ == NSStreamStatusNotOpen) status_ = NSStreamStatusOpen;
}

void NSStream::close() {
  std::lock_guard lock(streamMutex_);
  if (status_ != NSStreamStatusError) status_ = NSStreamStatusClosed;
}

NSStreamStatus NSStream::streamStatus() const {
  std::lock_guard lock(streamMutex_);
  return status_;
}

std::shared_ptr<NSError> NSStream::streamError() const {
  std::lock_guard lock(streamMutex_);
  return error_;
}

id NSStream::propertyForKey(const std::shared_ptr<NSString>&) const { return nullptr; }
bool NSStream::setProperty(const id&, const std::shared_ptr<NSString>&) { return false; }
void NSStream::scheduleInRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) {}
void NSStream::removeFromRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) {}

void NSStream::setStatus(NSStreamStatus status) {
  std::lock_guard lock(streamMutex_);
  status_ = status;
}

void NSStream::failWith(const std::shared_ptr<NSError>& error) {
  std::lock_guard lock(streamMutex_);
  error_ = error;
  status_ = NSStreamStatusError;
}

// --- NSInputStream

std::shared_ptr<NSInputStream> NSInputStream::inputStreamWithData(const std::shared_ptr<NSData>& data) {
  return std::make_shared<DataInputStream>(data);
}

std::shared_ptr<NSInputStream> NSInputStream::inputStreamWithFileAtPath(const std::shared_ptr<NSString>& path) {
  if (!path) return nullptr;
  return std::make_shared<FileInputStream>(path->utf8());
}

NSInteger NSInputStream::read(uint8_t*, NSUInteger) {
  failWith(notOpenError());
  return -1;
}

bool NSInputStream::getBuffer(uint8_t**, NSUInteger*) { return false; }

bool NSInputStream::hasBytesAvailable() const { return false; }

// --- NSOutputStream

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamToMemory() { return std::make_shared<MemoryOutputStream>(); }

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamToBuffer(uint8_t* buffer, NSUInteger capacity) {
  return std::make_shared<BufferOutputStream>(buffer, capacity);
}

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamToFileAtPath(const std::shared_ptr<NSString>& path, bool append) {
  if (!path) return nullptr;
  return std::make_shared<FileOutputStream>(path->utf8(), append);
}

NSInteger NSOutputStream::write(const uint8_t*, NSUInteger) {
  failWith(notOpenError());
  return -1;
}

bool NSOutputStream::hasSpaceAvailable() const { return false; }
