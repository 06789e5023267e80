// The URL factories of the stream classes: they need the URL class, which lives here.
#include "platform/foundation/NSStream.h"
#include "platform/network/NSURL.h"

std::shared_ptr<NSInputStream> NSInputStream::inputStreamWithURL(const std::shared_ptr<NSURL>& url) {
  if (!url || !url->isFileURL()) return nullptr;
  return inputStreamWithFileAtPath(url->path());
}

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamWithURL(const std::shared_ptr<NSURL>& url, bool append) {
  if (!url || !url->isFileURL()) return nullptr;
  return outputStreamToFileAtPath(url->path(), append);
}
