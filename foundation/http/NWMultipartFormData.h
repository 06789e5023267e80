// Streamed "multipart/form-data" bodies: the builder that a multipart request's body block is
// handed, the input stream that becomes the request's body stream, and one part of it. File
// parts are read from disk piece by piece while the request is sent.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLRequest.h"

// Errors of building a request ("File URL not reachable." and the like).
inline const zvt::StaticString NWURLRequestSerializationErrorDomain{"com.netway.error.serialization.request"};

// What a multipart body block may append.
class NWMultipartFormData {
 public:
  virtual ~NWMultipartFormData() = default;
  // File name and MIME type from the URL (the type from the extension, else
  // "application/octet-stream").
  virtual bool appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL, const std::shared_ptr<NSString>& name,
                                     std::shared_ptr<NSError>* error) = 0;
  virtual bool appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL, const std::shared_ptr<NSString>& name,
                                     const std::shared_ptr<NSString>& fileName, const std::shared_ptr<NSString>& mimeType,
                                     std::shared_ptr<NSError>* error) = 0;
  virtual void appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream,
                                         const std::shared_ptr<NSString>& name, const std::shared_ptr<NSString>& fileName,
                                         int64_t length, const std::shared_ptr<NSString>& mimeType) = 0;
  virtual void appendPartWithFileData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& name,
                                      const std::shared_ptr<NSString>& fileName,
                                      const std::shared_ptr<NSString>& mimeType) = 0;
  virtual void appendPartWithFormData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& name) = 0;
  virtual void appendPartWithHeaders(const std::shared_ptr<NSDictionary>& headers, const std::shared_ptr<NSData>& body) = 0;
  virtual void throttleBandwidthWithPacketSize(NSUInteger numberOfBytes, NSTimeInterval delay) = 0;
};

// One part: boundary line, header lines, body, and for the last part the closing boundary.
class NWHTTPBodyPart : public NSObject {
 public:
  enum Phase : int { kBoundaryPhase = 1, kHeaderPhase = 2, kBodyPhase = 3, kFinalBoundaryPhase = 4 };

  static std::shared_ptr<NWHTTPBodyPart> make() { return std::make_shared<NWHTTPBodyPart>(); }
  ~NWHTTPBodyPart() override;

  NSStringEncoding stringEncoding = NSUTF8StringEncoding;
  std::shared_ptr<NSDictionary> headers;
  std::shared_ptr<NSString> boundary;
  // An NSData, a file NSURL or an NSInputStream.
  id body;
  uint64_t bodyContentLength = 0;
  bool hasInitialBoundary = false;
  bool hasFinalBoundary = false;

  // Made on first use from the body and kept.
  std::shared_ptr<NSInputStream> inputStream();
  uint64_t contentLength() const;
  bool hasBytesAvailable();
  // Bytes placed, or -1 when the body cannot be read (bodyError() tells why).
  NSInteger read(uint8_t* buffer, NSUInteger length);
  std::shared_ptr<NSError> bodyError() const { return bodyError_; }
  Phase phase() const { return phase_; }

  id copyWithZone() const override;

 private:
  std::string boundaryLine() const;
  std::string headerText() const;
  std::string finalBoundary() const;
  NSUInteger readText(std::string (NWHTTPBodyPart::*make)() const, uint8_t* buffer, NSUInteger length);
  NSInteger readBody(uint8_t* buffer, NSUInteger length);
  void transitionToNextPhase();

  Phase phase_ = kBoundaryPhase;
  bool completed_ = false;
  uint64_t phaseOffset_ = 0;
  // The boundary or header text of the phase being read, made once when the phase begins.
  std::string phaseText_;
  bool phaseTextMade_ = false;
  uint64_t bodyRead_ = 0;
  std::shared_ptr<NSInputStream> inputStream_;
  std::shared_ptr<NSError> bodyError_;
};

// The request's body stream: the parts one after another, optionally throttled.
class NWMultipartBodyStream : public NSInputStream {
 public:
  static std::shared_ptr<NWMultipartBodyStream> initWithStringEncoding(NSStringEncoding encoding);
  explicit NWMultipartBodyStream(NSStringEncoding encoding) : stringEncoding_(encoding) {}

  void appendHTTPBodyPart(const std::shared_ptr<NWHTTPBodyPart>& part);
  void setInitialAndFinalBoundaries();
  uint64_t contentLength() const;
  bool isEmpty() const;
  std::vector<std::shared_ptr<NWHTTPBodyPart>> HTTPBodyParts() const;

  NSUInteger numberOfBytesInPacket() const;
  void setNumberOfBytesInPacket(NSUInteger bytes);
  NSTimeInterval delay() const;
  void setDelay(NSTimeInterval delay);
  NSStringEncoding stringEncoding() const { return stringEncoding_; }

  void open() override;
  void close() override;
  bool hasBytesAvailable() const override;
  // Bytes placed, 0 after the last part, -1 when a part's body fails (the stream is then in
  // the error state with the part's error).
  NSInteger read(uint8_t* buffer, NSUInteger maxLength) override;
  bool getBuffer(uint8_t** buffer, NSUInteger* length) override;

  id copyWithZone() const override;

 private:
  mutable std::mutex partsMutex_;  // guards the parts and the reading position
  NSStringEncoding stringEncoding_;
  std::vector<std::shared_ptr<NWHTTPBodyPart>> parts_;
  size_t nextPart_ = 0;
  std::shared_ptr<NWHTTPBodyPart> currentPart_;
  NSUInteger numberOfBytesInPacket_ = static_cast<NSUInteger>(INT64_MAX);
  NSTimeInterval delay_ = 0;
};

// The builder handed to a multipart request's body block.
class NWStreamingMultipartFormData : public NSObject, public NWMultipartFormData {
 public:
  static std::shared_ptr<NWStreamingMultipartFormData> initWithURLRequest(const std::shared_ptr<NSMutableURLRequest>& request,
                                                                          NSStringEncoding encoding);

  bool appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL, const std::shared_ptr<NSString>& name,
                             std::shared_ptr<NSError>* error) override;
  bool appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL, const std::shared_ptr<NSString>& name,
                             const std::shared_ptr<NSString>& fileName, const std::shared_ptr<NSString>& mimeType,
                             std::shared_ptr<NSError>* error) override;
  void appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream, const std::shared_ptr<NSString>& name,
                                 const std::shared_ptr<NSString>& fileName, int64_t length,
                                 const std::shared_ptr<NSString>& mimeType) override;
  void appendPartWithFileData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& name,
                              const std::shared_ptr<NSString>& fileName, const std::shared_ptr<NSString>& mimeType) override;
  void appendPartWithFormData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& name) override;
  void appendPartWithHeaders(const std::shared_ptr<NSDictionary>& headers, const std::shared_ptr<NSData>& body) override;
  void throttleBandwidthWithPacketSize(NSUInteger numberOfBytes, NSTimeInterval delay) override;

  // The request with the body stream, "Content-Type" and "Content-Length"; unchanged when no
  // part was appended.
  std::shared_ptr<NSMutableURLRequest> requestByFinalizingMultipartFormData();

  const std::shared_ptr<NSString>& boundary() const { return boundary_; }
  const std::shared_ptr<NWMultipartBodyStream>& bodyStream() const { return bodyStream_; }
  const std::shared_ptr<NSMutableURLRequest>& request() const { return request_; }

 private:
  void appendPart(const std::shared_ptr<NSDictionary>& headers, const id& body, uint64_t length);

  std::shared_ptr<NSMutableURLRequest> request_;
  NSStringEncoding stringEncoding_ = NSUTF8StringEncoding;
  std::shared_ptr<NSString> boundary_;
  std::shared_ptr<NWMultipartBodyStream> bodyStream_;
};

namespace zvt {
// A name or file name as it may stand between the quotes of Content-Disposition: '"', CR and
// LF are percent-escaped so that a name cannot end the header or add one.
std::shared_ptr<NSString> escapedDispositionValue(const std::shared_ptr<NSString>& value);
// The MIME type of a file-name extension, "application/octet-stream" when there is none.
std::shared_ptr<NSString> MIMETypeForPathExtension(const std::shared_ptr<NSString>& extension);
}  // namespace zvt
