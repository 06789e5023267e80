// Streams, text encodings, MIME types by extension.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSStringEncodings.h"
#include "platform/foundation/UTType.h"
#include "tests/support/TempHome.h"

namespace {

std::string readAll(const std::shared_ptr<NSInputStream>& stream, NSUInteger chunk) {
  std::string out;
  std::vector<uint8_t> buffer(chunk);
  while (true) {
    NSInteger n = stream->read(buffer.data(), chunk);
    if (n <= 0) break;
    out.append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(n));
  }
  return out;
}

TEST(HttpStreams, DataInputStreamReadsInPiecesThenEnds) {
  auto stream = NSInputStream::inputStreamWithData(NSData::dataWithString("hello world"));
  EXPECT_EQ(stream->streamStatus(), NSStreamStatusNotOpen);
  uint8_t b[4];
  EXPECT_EQ(stream->read(b, 4), -1) << "reading before open is an error";
  auto fresh = NSInputStream::inputStreamWithData(NSData::dataWithString("hello world"));
  fresh->open();
  EXPECT_TRUE(fresh->hasBytesAvailable());
  EXPECT_EQ(readAll(fresh, 3), "hello world");
  EXPECT_EQ(fresh->streamStatus(), NSStreamStatusAtEnd);
  EXPECT_FALSE(fresh->hasBytesAvailable());
  fresh->close();
  EXPECT_EQ(fresh->streamStatus(), NSStreamStatusClosed);
}

TEST(HttpStreams, FileStreamsRoundTripAndReportOffsetsAndErrors) {
  zvt::test::TempHome home;
  auto path = NSString::stringWithUTF8String(home.pathFor("tmp/f.bin"));
  auto out = NSOutputStream::outputStreamToFileAtPath(path, false);
  out->open();
  ASSERT_TRUE(out->hasSpaceAvailable());
  EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("abcdef"), 6), 6);
  auto offset = std::dynamic_pointer_cast<NSNumber>(out->propertyForKey(NSStreamFileCurrentOffsetKey));
  ASSERT_TRUE(offset);
  EXPECT_EQ(offset->longLongValue(), 6);
  out->close();
  auto append = NSOutputStream::outputStreamToFileAtPath(path, true);
  append->open();
  append->write(reinterpret_cast<const uint8_t*>("gh"), 2);
  append->close();
  auto in = NSInputStream::inputStreamWithFileAtPath(path);
  in->open();
  EXPECT_EQ(readAll(in, 1), "abcdefgh");
  EXPECT_EQ(in->streamStatus(), NSStreamStatusAtEnd);

  auto missing = NSInputStream::inputStreamWithFileAtPath(NSString::stringWithUTF8String(home.pathFor("nope")));
  missing->open();
  EXPECT_EQ(missing->streamStatus(), NSStreamStatusError);
  ASSERT_TRUE(missing->streamError());
  EXPECT_EQ(missing->streamError()->code(), ENOENT);
  uint8_t b[2];
  EXPECT_EQ(missing->read(b, 2), -1);
}

TEST(HttpStreams, MemoryAndBufferOutputStreams) {
  auto memory = NSOutputStream::outputStreamToMemory();
  EXPECT_EQ(memory->write(reinterpret_cast<const uint8_t*>("x"), 1), -1) << "not open";
  auto m2 = NSOutputStream::outputStreamToMemory();
  m2->open();
  m2->write(reinterpret_cast<const uint8_t*>("abc"), 3);
  m2->write(reinterpret_cast<const uint8_t*>("de"), 2);
  auto data = std::dynamic_pointer_cast<NSData>(m2->propertyForKey(NSStreamDataWrittenToMemoryStreamKey));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->view(), "abcde");

  uint8_t buffer[4];
  auto fixed = NSOutputStream::outputStreamToBuffer(buffer, sizeof buffer);
  fixed->open();
  EXPECT_EQ(fixed->write(reinterpret_cast<const uint8_t*>("abcdef"), 6), 4);
  EXPECT_FALSE(fixed->hasSpaceAvailable());
  EXPECT_EQ(fixed->write(reinterpret_cast<const uint8_t*>("g"), 1), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "abcd");
  EXPECT_FALSE(fixed->streamError()) << "a full buffer is no error";
}

TEST(HttpEncodings, CharsetNamesMapToEncodings) {
  EXPECT_EQ(zvt::encodingForIANACharSetName("utf-8"_ns), NSUTF8StringEncoding);
  EXPECT_EQ(zvt::encodingForIANACharSetName("UTF-8"_ns), NSUTF8StringEncoding);
  EXPECT_EQ(zvt::encodingForIANACharSetName("\"GBK\""_ns), kZVTGBKStringEncoding);
  EXPECT_EQ(zvt::encodingForIANACharSetName("iso-8859-1"_ns), NSISOLatin1StringEncoding);
  EXPECT_EQ(zvt::encodingForIANACharSetName("x-klingon"_ns), kZVTInvalidStringEncoding);
  EXPECT_EQ(zvt::encodingForIANACharSetName(nullptr), kZVTInvalidStringEncoding);
}

TEST(HttpEncodings, GBKRoundTripAndInvalidBytes) {
  // "中文" in GBK.
  const std::string gbk = "\xD6\xD0\xCE\xC4";
  auto text = zvt::stringWithBytes(gbk.data(), gbk.size(), kZVTGBKStringEncoding);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->utf8(), "中文");
  auto back = zvt::dataWithString(text, kZVTGBKStringEncoding);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->view(), gbk);
  // A lead byte without its trail byte does not decode.
  EXPECT_FALSE(zvt::stringWithBytes("\xD6", 1, kZVTGBKStringEncoding));
  // Text with no form in the encoding does not encode.
  EXPECT_FALSE(zvt::dataWithString("\xF0\x9F\x98\x80"_ns, kZVTGBKStringEncoding));
  EXPECT_FALSE(zvt::dataWithString("中"_ns, NSISOLatin1StringEncoding));
  // Built-in encodings go through the string class.
  EXPECT_EQ(zvt::stringWithBytes("abc", 3, NSUTF8StringEncoding)->utf8(), "abc");
  EXPECT_FALSE(zvt::stringWithBytes("\xFF", 1, NSUTF8StringEncoding));
}

TEST(HttpEncodings, LatinToASCIITransform) {
  auto out = zvt::stringByApplyingTransform("Zavelto Café 中文"_ns, "Any-Latin; Latin-ASCII; [:^ASCII:] Remove");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->canBeConvertedToEncoding(NSASCIIStringEncoding));
  EXPECT_EQ(out->utf8().substr(0, 13), "Zavelto Cafe ");
  EXPECT_FALSE(zvt::stringByApplyingTransform("x"_ns, "No-Such-Transform-Here"));
}

TEST(HttpMIMETypes, ExtensionsFromTheSystemTableAndTheFallback) {
  auto type = [](const char* ext) {
    auto uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, NSString::stringWithUTF8String(ext), nullptr);
    auto mime = UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType);
    return mime ? mime->utf8() : std::string("(none)");
  };
  EXPECT_EQ(type("png"), "image/png");
  EXPECT_EQ(type("JPG"), "image/jpeg");
  EXPECT_EQ(type("nosuchextension"), "(none)");
  // Without the system file the built-in table answers.
  zvt::setMIMETypesFile("/nonexistent/mime.types");
  EXPECT_EQ(type("png"), "image/png");
  EXPECT_EQ(type("json"), "application/json");
  zvt::setMIMETypesFile("");
}

}  // namespace
