// Byte streams: input streams over data, files or a subclass's own source; output streams into
// memory, a caller's buffer or a file. Reading and writing are synchronous; scheduling in run
// loops is accepted and does nothing, since every stream here answers at once.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSRunLoop;
class NSStream;
class NSURL;

using NSStreamStatus = NSUInteger;
enum : NSStreamStatus {
  NSStreamStatusNotOpen = 0,
  NSStreamStatusOpening = 1,
  NSStreamStatusOpen = 2,
  NSStreamStatusReading = 3,
  NSStreamStatusWriting = 4,
  NSStreamStatusAtEnd = 5,
  NSStreamStatusClosed = 6,
  NSStreamStatusError = 7,
};

using NSStreamEvent = NSUInteger;
enum : NSStreamEvent {
  NSStreamEventNone = 0,
  NSStreamEventOpenCompleted = 1,
  NSStreamEventHasBytesAvailable = 2,
  NSStreamEventHasSpaceAvailable = 4,
  NSStreamEventErrorOccurred = 8,
  NSStreamEventEndEncountered = 16,
};

inline const zvt::StaticString NSStreamDataWrittenToMemoryStreamKey{"kCFStreamPropertyDataWritten"};
inline const zvt::StaticString NSStreamFileCurrentOffsetKey{"kCFStreamPropertyFileCurrentOffset"};

class NSStreamDelegate {
 public:
  virtual ~NSStreamDelegate() = default;
  virtual void streamHandleEvent(const std::shared_ptr<NSStream>& stream, NSStreamEvent event) {
    (void)stream;
    (void)event;
  }
};

class NSStream : public NSObject {
 public:
  virtual void open();
  virtual void close();
  virtual NSStreamStatus streamStatus() const;
  virtual std::shared_ptr<NSError> streamError() const;
  virtual std::shared_ptr<NSStreamDelegate> delegate() const { return delegate_.lock(); }
  virtual void setDelegate(const std::shared_ptr<NSStreamDelegate>& delegate) { delegate_ = delegate; }
  virtual id propertyForKey(const std::shared_ptr<NSString>& key) const;
  virtual bool setProperty(const id& property, const std::shared_ptr<NSString>& key);
  // Streams here never wait, so scheduling has nothing to do.
  virtual void scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
  virtual void removeFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);

 protected:
  // For subclasses: the state they share with the base's accessors.
  void setStatus(NSStreamStatus status);
  void failWith(const std::shared_ptr<NSError>& error);
  mutable std::recursive_mutex streamMutex_;
  NSStreamStatus status_ = NSStreamStatusNotOpen;
  std::shared_ptr<NSError> error_;
  std::weak_ptr<NSStreamDelegate> delegate_;
};

class NSInputStream : public NSStream {
 public:
  static std::shared_ptr<NSInputStream> inputStreamWithData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<NSInputStream> inputStreamWithFileAtPath(const std::shared_ptr<NSString>& path);
  // A file URL; nil for any other scheme. Defined with the URL class (platform/network).
  static std::shared_ptr<NSInputStream> inputStreamWithURL(const std::shared_ptr<NSURL>& url);
  static std::shared_ptr<NSInputStream> initWithData(const std::shared_ptr<NSData>& data) { return inputStreamWithData(data); }

  // Bytes placed into `buffer` (at most maxLength), 0 at the end, -1 on error (streamError
  // tells why). Reading a stream that is not open is an error.
  virtual NSInteger read(uint8_t* buffer, NSUInteger maxLength);
  // No stream here exposes its internal buffer.
  virtual bool getBuffer(uint8_t** buffer, NSUInteger* length);
  virtual bool hasBytesAvailable() const;

 protected:
  NSInputStream() = default;
  friend std::shared_ptr<NSInputStream> makeDataInputStream(const std::shared_ptr<NSData>&);
};

class NSOutputStream : public NSStream {
 public:
  // The written bytes are read back through NSStreamDataWrittenToMemoryStreamKey.
  static std::shared_ptr<NSOutputStream> outputStreamToMemory();
  // A fixed buffer of the caller's; no more space once it is full.
  static std::shared_ptr<NSOutputStream> outputStreamToBuffer(uint8_t* buffer, NSUInteger capacity);
  static std::shared_ptr<NSOutputStream> outputStreamToFileAtPath(const std::shared_ptr<NSString>& path, bool append);
  // Defined with the URL class (platform/network).
  static std::shared_ptr<NSOutputStream> outputStreamWithURL(const std::shared_ptr<NSURL>& url, bool append);

  // Bytes taken (0 when full), -1 on error.
  virtual NSInteger write(const uint8_t* buffer, NSUInteger maxLength);
  virtual bool hasSpaceAvailable() const;

 protected:
  NSOutputStream() = default;
};
