#include "foundation/http/NWMultipartFormData.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSStringEncodings.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/UTType.h"

namespace {

constexpr const char* kCRLF = "\r\n";

std::string encoded(const std::shared_ptr<NSString>& text, NSStringEncoding encoding) {
  auto data = zvt::dataWithString(text, encoding);
  return data ? std::string(data->view()) : std::string();
}

// The headers of a file part: its disposition with name and file name, and its content type.
std::shared_ptr<NSDictionary> fileHeaders(const std::shared_ptr<NSString>& name, const std::shared_ptr<NSString>& fileName,
                                          const std::shared_ptr<NSString>& mimeType) {
  auto headers = NSMutableDictionary::dictionary();
  headers->setObject(NSString::stringWithFormat("form-data; name=\"%@\"; filename=\"%@\"", zvt::escapedDispositionValue(name),
                                                zvt::escapedDispositionValue(fileName)),
                     "Content-Disposition"_ns);
  headers->setObject(mimeType ? mimeType : "application/octet-stream"_ns, "Content-Type"_ns);
  return headers;
}

std::shared_ptr<NSString> createMultipartFormBoundary() {
  return NSString::stringWithFormat("Boundary+%08X%08X", arc4random(), arc4random());
}

std::shared_ptr<NSError> requestError(NSInteger code, const std::shared_ptr<NSString>& message) {
  auto text = NSLocalizedStringFromTable(message, "NWNetworking"_ns, nullptr);
  return NSError::errorWithDomain(NWURLRequestSerializationErrorDomain, code,
                                  NSDictionary::make({{NSLocalizedFailureReasonErrorKey, text}}));
}

std::shared_ptr<NSError> truncatedBodyError(uint64_t expected, uint64_t got) {
  auto text = NSString::stringWithFormat("The part body ended after %llu of %llu bytes.",
                                         static_cast<unsigned long long>(got), static_cast<unsigned long long>(expected));
  return NSError::errorWithDomain(NWURLRequestSerializationErrorDomain, NSURLErrorCannotDecodeRawData,
                                  NSDictionary::make({{NSLocalizedFailureReasonErrorKey, text},
                                                      {NSLocalizedDescriptionKey, text}}));
}

}  // namespace

namespace zvt {

std::shared_ptr<NSString> escapedDispositionValue(const std::shared_ptr<NSString>& value) {
  if (!value) return NSString::string();
  const std::string& in = value->utf8();
  if (in.find_first_of("\"\r\n") == std::string::npos) return value;
  std::string out;
  for (char c : in) {
    if (c == '"') out += "%22";
    else if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else out += c;
  }
  return NSString::stringWithUTF8String(std::string_view(out));
}

std::shared_ptr<NSString> MIMETypeForPathExtension(const std::shared_ptr<NSString>& extension) {
  auto uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, extension, nullptr);
  auto type = UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType);
  return type ? type : "application/octet-stream"_ns;
}

}  // namespace zvt

// --- NWHTTPBodyPart

NWHTTPBodyPart::~NWHTTPBodyPart() {
  if (inputStream_) inputStream_->close();
}

std::shared_ptr<NSInputStream> NWHTTPBodyPart::inputStream() {
  if (!inputStream_) {
    if (auto data = zvt::as<NSData>(body)) {
      inputStream_ = NSInputStream::inputStreamWithData(data);
    } else if (auto url = zvt::as<NSURL>(body)) {
      inputStream_ = NSInputStream::inputStreamWithURL(url);
    } else if (auto stream = zvt::as<NSInputStream>(body)) {
      inputStream_ = stream;
    }
    if (!inputStream_) inputStream_ = NSInputStream::inputStreamWithData(NSData::data());
  }
  return inputStream_;
}

std::string NWHTTPBodyPart::boundaryLine() const {
  auto b = boundary ? boundary : NSString::string();
  return encoded(hasInitialBoundary ? NSString::stringWithFormat("--%@%s", b, kCRLF)
                                    : NSString::stringWithFormat("%s--%@%s", kCRLF, b, kCRLF),
                 stringEncoding);
}

std::string NWHTTPBodyPart::headerText() const {
  auto text = NSMutableString::string();
  if (headers) {
    for (const id& field : *headers) {
      text->appendFormat("%@: %@%s", field, headers->objectForKey(field), kCRLF);
    }
  }
  text->appendString(kCRLF);
  return encoded(text, stringEncoding);
}

std::string NWHTTPBodyPart::finalBoundary() const {
  if (!hasFinalBoundary) return std::string();
  auto b = boundary ? boundary : NSString::string();
  return encoded(NSString::stringWithFormat("%s--%@--%s", kCRLF, b, kCRLF), stringEncoding);
}

uint64_t NWHTTPBodyPart::contentLength() const {
  return boundaryLine().size() + headerText().size() + bodyContentLength + finalBoundary().size();
}

bool NWHTTPBodyPart::hasBytesAvailable() {
  // Until the part has gone through all its phases. Judging by the body stream's status would
  // skip a part whose stream is already at its end when a buffer fills just before its body
  // (an empty body, a stream opened elsewhere), losing its closing boundary or its error.
  return !completed_;
}

NSInteger NWHTTPBodyPart::read(uint8_t* buffer, NSUInteger length) {
  NSUInteger total = 0;
  if (phase_ == kBoundaryPhase) total += readText(&NWHTTPBodyPart::boundaryLine, buffer + total, length - total);
  if (phase_ == kHeaderPhase) total += readText(&NWHTTPBodyPart::headerText, buffer + total, length - total);
  if (phase_ == kBodyPhase) {
    NSInteger n = readBody(buffer + total, length - total);
    if (n < 0) return -1;
    total += static_cast<NSUInteger>(n);
  }
  if (phase_ == kFinalBoundaryPhase) total += readText(&NWHTTPBodyPart::finalBoundary, buffer + total, length - total);
  return static_cast<NSInteger>(total);
}

NSUInteger NWHTTPBodyPart::readText(std::string (NWHTTPBodyPart::*make)() const, uint8_t* buffer, NSUInteger length) {
  // Made once a phase: a reader with a small buffer (a throttled upload's packets) would
  // otherwise format the part's headers again for every few bytes it takes.
  if (!phaseTextMade_) {
    phaseText_ = (this->*make)();
    phaseTextMade_ = true;
  }
  const std::string& text = phaseText_;
  uint64_t left = text.size() > phaseOffset_ ? text.size() - phaseOffset_ : 0;
  NSUInteger n = static_cast<NSUInteger>(std::min<uint64_t>(left, length));
  if (n) std::memcpy(buffer, text.data() + phaseOffset_, n);
  phaseOffset_ += n;
  if (phaseOffset_ >= text.size()) transitionToNextPhase();
  return n;
}

NSInteger NWHTTPBodyPart::readBody(uint8_t* buffer, NSUInteger length) {
  auto stream = inputStream();
  uint64_t left = bodyContentLength - std::min(bodyRead_, bodyContentLength);
  if (left == 0) {
    // The declared length is what Content-Length promised; nothing beyond it is sent.
    transitionToNextPhase();
    return 0;
  }
  if (length == 0) return 0;
  NSInteger n = stream->read(buffer, static_cast<NSUInteger>(std::min<uint64_t>(left, length)));
  if (n < 0) {
    bodyError_ = stream->streamError();
    if (!bodyError_) bodyError_ = truncatedBodyError(bodyContentLength, bodyRead_);
    return -1;
  }
  bodyRead_ += static_cast<uint64_t>(n);
  if (bodyRead_ >= bodyContentLength) {
    transitionToNextPhase();
  } else if (stream->streamStatus() >= NSStreamStatusAtEnd) {
    // A body shorter than its declared length would leave the request short of its
    // Content-Length: fail instead of sending a truncated body.
    bodyError_ = stream->streamStatus() == NSStreamStatusError && stream->streamError()
                     ? stream->streamError()
                     : truncatedBodyError(bodyContentLength, bodyRead_);
    return -1;
  }
  return n;
}

void NWHTTPBodyPart::transitionToNextPhase() {
  switch (phase_) {
    case kBoundaryPhase:
      phase_ = kHeaderPhase;
      break;
    case kHeaderPhase: {
      auto stream = inputStream();
      if (stream->streamStatus() == NSStreamStatusNotOpen) stream->open();
      phase_ = kBodyPhase;
      break;
    }
    case kBodyPhase:
      inputStream()->close();
      phase_ = kFinalBoundaryPhase;
      break;
    default:
      phase_ = kBoundaryPhase;
      completed_ = true;
      break;
  }
  phaseOffset_ = 0;
  phaseText_.clear();
  phaseTextMade_ = false;
}

id NWHTTPBodyPart::copyWithZone() const {
  auto part = NWHTTPBodyPart::make();
  part->stringEncoding = stringEncoding;
  part->headers = headers;
  part->bodyContentLength = bodyContentLength;
  part->body = body;
  part->boundary = boundary;
  return part;
}

// --- NWMultipartBodyStream

std::shared_ptr<NWMultipartBodyStream> NWMultipartBodyStream::initWithStringEncoding(NSStringEncoding encoding) {
  return std::make_shared<NWMultipartBodyStream>(encoding);
}

void NWMultipartBodyStream::appendHTTPBodyPart(const std::shared_ptr<NWHTTPBodyPart>& part) {
  std::lock_guard lock(partsMutex_);
  parts_.push_back(part);
}

void NWMultipartBodyStream::setInitialAndFinalBoundaries() {
  std::lock_guard lock(partsMutex_);
  if (parts_.empty()) return;
  for (auto& part : parts_) {
    part->hasInitialBoundary = false;
    part->hasFinalBoundary = false;
  }
  parts_.front()->hasInitialBoundary = true;
  parts_.back()->hasFinalBoundary = true;
}

uint64_t NWMultipartBodyStream::contentLength() const {
  std::lock_guard lock(partsMutex_);
  uint64_t length = 0;
  for (const auto& part : parts_) length += part->contentLength();
  return length;
}

bool NWMultipartBodyStream::isEmpty() const {
  std::lock_guard lock(partsMutex_);
  return parts_.empty();
}

std::vector<std::shared_ptr<NWHTTPBodyPart>> NWMultipartBodyStream::HTTPBodyParts() const {
  std::lock_guard lock(partsMutex_);
  return parts_;
}

NSUInteger NWMultipartBodyStream::numberOfBytesInPacket() const {
  std::lock_guard lock(partsMutex_);
  return numberOfBytesInPacket_;
}

void NWMultipartBodyStream::setNumberOfBytesInPacket(NSUInteger bytes) {
  std::lock_guard lock(partsMutex_);
  numberOfBytesInPacket_ = bytes;
}

NSTimeInterval NWMultipartBodyStream::delay() const {
  std::lock_guard lock(partsMutex_);
  return delay_;
}

void NWMultipartBodyStream::setDelay(NSTimeInterval delay) {
  std::lock_guard lock(partsMutex_);
  delay_ = delay;
}

void NWMultipartBodyStream::open() {
  if (streamStatus() == NSStreamStatusOpen) return;
  setStatus(NSStreamStatusOpen);
  setInitialAndFinalBoundaries();
  std::lock_guard lock(partsMutex_);
  nextPart_ = 0;
  currentPart_.reset();
}

void NWMultipartBodyStream::close() { setStatus(NSStreamStatusClosed); }

bool NWMultipartBodyStream::hasBytesAvailable() const { return streamStatus() == NSStreamStatusOpen; }

NSInteger NWMultipartBodyStream::read(uint8_t* buffer, NSUInteger maxLength) {
  NSStreamStatus status = streamStatus();
  if (status == NSStreamStatusClosed) return 0;
  if (status == NSStreamStatusError) return -1;
  // Phase changes of the parts happen here, on the reading thread, under this lock.
  std::unique_lock lock(partsMutex_);
  NSUInteger limit = std::min(maxLength, numberOfBytesInPacket_);
  NSUInteger placed = 0;
  while (placed < limit) {
    if (!currentPart_ || !currentPart_->hasBytesAvailable()) {
      if (nextPart_ >= parts_.size()) break;
      currentPart_ = parts_[nextPart_++];
      continue;
    }
    NSInteger n = currentPart_->read(buffer + placed, limit - placed);
    if (n < 0) {
      failWith(currentPart_->bodyError());
      return -1;
    }
    placed += static_cast<NSUInteger>(n);
    if (delay_ > 0) {
      NSTimeInterval pause = delay_;
      lock.unlock();
      NSThread::sleepForTimeInterval(pause);
      lock.lock();
    }
    if (n == 0 && currentPart_->phase() == NWHTTPBodyPart::kBodyPhase) break;  // a body stream with nothing yet
  }
  return static_cast<NSInteger>(placed);
}

bool NWMultipartBodyStream::getBuffer(uint8_t**, NSUInteger*) { return false; }

id NWMultipartBodyStream::copyWithZone() const {
  auto copy = std::make_shared<NWMultipartBodyStream>(stringEncoding_);
  for (const auto& part : HTTPBodyParts()) {
    copy->appendHTTPBodyPart(std::static_pointer_cast<NWHTTPBodyPart>(part->copyWithZone()));
  }
  copy->setInitialAndFinalBoundaries();
  return copy;
}

// --- NWStreamingMultipartFormData

std::shared_ptr<NWStreamingMultipartFormData> NWStreamingMultipartFormData::initWithURLRequest(
    const std::shared_ptr<NSMutableURLRequest>& request, NSStringEncoding encoding) {
  auto builder = std::make_shared<NWStreamingMultipartFormData>();
  builder->request_ = request ? std::static_pointer_cast<NSMutableURLRequest>(request->mutableCopyWithZone())
                              : NSMutableURLRequest::requestWithURL(nullptr);
  builder->stringEncoding_ = encoding;
  builder->boundary_ = createMultipartFormBoundary();
  builder->bodyStream_ = NWMultipartBodyStream::initWithStringEncoding(encoding);
  return builder;
}

bool NWStreamingMultipartFormData::appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL,
                                                         const std::shared_ptr<NSString>& name,
                                                         std::shared_ptr<NSError>* error) {
  auto fileName = fileURL ? fileURL->lastPathComponent() : nullptr;
  auto mimeType = zvt::MIMETypeForPathExtension(fileURL ? fileURL->pathExtension() : nullptr);
  return appendPartWithFileURL(fileURL, name, fileName, mimeType, error);
}

bool NWStreamingMultipartFormData::appendPartWithFileURL(const std::shared_ptr<NSURL>& fileURL,
                                                         const std::shared_ptr<NSString>& name,
                                                         const std::shared_ptr<NSString>& fileName,
                                                         const std::shared_ptr<NSString>& mimeType,
                                                         std::shared_ptr<NSError>* error) {
  if (!fileURL || !fileURL->isFileURL()) {
    zvt::setError(error, requestError(NSURLErrorBadURL, "Expected URL to be a file URL"_ns));
    return false;
  }
  auto path = fileURL->path();
  auto manager = NSFileManager::defaultManager();
  if (!manager->fileExistsAtPath(path)) {
    zvt::setError(error, requestError(NSURLErrorBadURL, "File URL not reachable."_ns));
    return false;
  }
  auto attributes = manager->attributesOfItemAtPath(path, error);
  if (!attributes) return false;
  auto size = zvt::as<NSNumber>(attributes->objectForKey(NSFileSize));
  appendPart(fileHeaders(name, fileName, mimeType), fileURL, size ? size->unsignedLongLongValue() : 0);
  return true;
}

void NWStreamingMultipartFormData::appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream,
                                                             const std::shared_ptr<NSString>& name,
                                                             const std::shared_ptr<NSString>& fileName, int64_t length,
                                                             const std::shared_ptr<NSString>& mimeType) {
  appendPart(fileHeaders(name, fileName, mimeType), inputStream, length > 0 ? static_cast<uint64_t>(length) : 0);
}

void NWStreamingMultipartFormData::appendPartWithFileData(const std::shared_ptr<NSData>& data,
                                                          const std::shared_ptr<NSString>& name,
                                                          const std::shared_ptr<NSString>& fileName,
                                                          const std::shared_ptr<NSString>& mimeType) {
  appendPartWithHeaders(fileHeaders(name, fileName, mimeType), data);
}

void NWStreamingMultipartFormData::appendPartWithFormData(const std::shared_ptr<NSData>& data,
                                                          const std::shared_ptr<NSString>& name) {
  auto headers = NSMutableDictionary::dictionary();
  headers->setObject(NSString::stringWithFormat("form-data; name=\"%@\"", zvt::escapedDispositionValue(name)),
                     "Content-Disposition"_ns);
  appendPartWithHeaders(headers, data);
}

void NWStreamingMultipartFormData::appendPartWithHeaders(const std::shared_ptr<NSDictionary>& headers,
                                                         const std::shared_ptr<NSData>& body) {
  auto bytes = body ? body : NSData::data();
  appendPart(headers, bytes, bytes->length());
}

void NWStreamingMultipartFormData::appendPart(const std::shared_ptr<NSDictionary>& headers, const id& body, uint64_t length) {
  auto part = NWHTTPBodyPart::make();
  part->stringEncoding = stringEncoding_;
  part->headers = headers;
  part->boundary = boundary_;
  part->body = body;
  part->bodyContentLength = length;
  bodyStream_->appendHTTPBodyPart(part);
}

void NWStreamingMultipartFormData::throttleBandwidthWithPacketSize(NSUInteger numberOfBytes, NSTimeInterval delay) {
  bodyStream_->setNumberOfBytesInPacket(numberOfBytes);
  bodyStream_->setDelay(delay);
}

std::shared_ptr<NSMutableURLRequest> NWStreamingMultipartFormData::requestByFinalizingMultipartFormData() {
  if (bodyStream_->isEmpty()) return request_;
  bodyStream_->setInitialAndFinalBoundaries();
  request_->setHTTPBodyStream(bodyStream_);
  request_->setValue(NSString::stringWithFormat("multipart/form-data; boundary=%@", boundary_), "Content-Type"_ns);
  request_->setValue(NSString::stringWithFormat("%llu", static_cast<unsigned long long>(bodyStream_->contentLength())),
                     "Content-Length"_ns);
  return request_;
}
