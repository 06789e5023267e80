// The image cache: file names and layout, what is written for each way of storing, queries
// through memory and disk and their cancellation, removal, cleaning by age and by size, sizes
// and counts, read-only paths and memory warnings.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Foundation.h"
#include "platform/uikit/UIApplication.h"
#include "tests/support/TempHome.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/NSData+ImageKind.h"
#include "ui/images/UIImage+AnyFormat.h"
#include "ui/images/WIImageCache.h"

namespace {

using namespace zvt::test;

std::string md5Hex(const std::string& text) {
  unsigned char digest[CC_MD5_DIGEST_LENGTH];
  CC_MD5(text.data(), static_cast<CC_LONG>(text.size()), digest);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

class ImageCacheTest : public ::testing::Test {
 protected:
  TempHome home;
  std::shared_ptr<WIImageCache> cache = WIImageCache::initWithNamespace("test"_ns);
  std::string pathOf(const std::string& key) { return cache->defaultCachePathForKey(NSString::stringWithUTF8String(key))->utf8(); }
};

TEST_F(ImageCacheTest, NamesFilesByTheDigestAndExtensionOfTheKey) {
  EXPECT_EQ(cache->diskCachePath()->utf8(), home.path() + "/Library/Caches/test/com.velkontor.WIWebImageCache.test");
  EXPECT_EQ(WIImageCache::make()->diskCachePath()->utf8(),
            home.path() + "/Library/Caches/default/com.velkontor.WIWebImageCache.default");
  const std::string longQuery = "http://h/a.jpg?" + std::string(300, 'q');
  const struct {
    std::string key;
    std::string extension;
  } cases[] = {
      {"http://h/a_300x300.jpg", ".jpg"},
      {"http://h/picture", ""},
      {"http://h/a.png?size=2", ".png?size=2"},
      {longQuery, ""},  // the extension would pass the file-name limit
      {"", ""},
  };
  for (const auto& c : cases) {
    auto name = cache->cachedFileNameForKey(NSString::stringWithUTF8String(c.key))->utf8();
    EXPECT_EQ(name, md5Hex(c.key) + c.extension) << c.key;
  }
}

TEST_F(ImageCacheTest, WritesTheGivenBytesOrTheImageEncodedAgain) {
  auto png = dataOf(pngImage(4, 4, true));
  auto jpeg = dataOf(jpegImage(4, 4));
  auto gif = dataOf(gifImage(2, 5));
  auto alphaImage = UIImage::imageWithData(dataOf(pngImage(4, 4, true)));
  auto opaqueImage = UIImage::imageWithData(jpeg);  // no alpha channel
  const struct {
    const char* key;
    std::shared_ptr<UIImage> image;
    bool recalculate;
    std::shared_ptr<NSData> bytes;
    const char* written;  // "same", "png", "jpeg"
  } cases[] = {
      {"http://h/exact.gif", wi_imageWithData(gif), false, gif, "same"},
      {"http://h/exact.webp", opaqueImage, false, NSData::dataWithString(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)), "same"},
      {"http://h/alpha", alphaImage, true, nullptr, "png"},
      {"http://h/opaque", opaqueImage, true, nullptr, "jpeg"},
      {"http://h/alpha-from-jpeg", alphaImage, true, jpeg, "jpeg"},
      {"http://h/opaque-from-png", opaqueImage, true, png, "png"},
      // Decoded for drawing (as forced decoding leaves it), a photo has an alpha channel.
      {"http://h/decoded-jpeg", wi_imageWithData(jpeg), true, nullptr, "png"},
  };
  for (const auto& c : cases) cache->storeImage(c.image, c.recalculate, c.bytes, NSString::stringWithUTF8String(c.key), true);
  drainQueue(cache->ioQueue());
  for (const auto& c : cases) {
    std::string written = fileText(pathOf(c.key));
    if (std::string(c.written) == "same") {
      EXPECT_EQ(written, std::string(c.bytes->view())) << c.key;
    } else {
      auto type = wi_contentTypeForImageData(NSData::dataWithString(written));
      EXPECT_EQ(type ? type->utf8() : "nil", std::string("image/") + c.written) << c.key;
    }
    EXPECT_TRUE(cache->imageFromMemoryCacheForKey(NSString::stringWithUTF8String(c.key))) << c.key;
  }
  // Nothing is stored without an image or a key, and memory only when asked.
  cache->storeImage(nullptr, "http://h/none"_ns);
  cache->storeImage(opaqueImage, nullptr);
  cache->storeImage(opaqueImage, "http://h/memory-only"_ns, false);
  drainQueue(cache->ioQueue());
  EXPECT_FALSE(cache->diskImageExistsWithKey("http://h/none"_ns));
  EXPECT_FALSE(cache->diskImageExistsWithKey("http://h/memory-only"_ns));
  EXPECT_EQ(cache->getDiskCount(), 7u);
}

// The shared cache lives as long as the process, while each test has a home of its own: its
// pictures go into the folder of the home they were stored under, and a write that the queue
// reaches after that home has been removed does not make the home again.
TEST(SharedImageCacheTest, FollowsTheHomeAndNeverMakesARemovedHomeAgain) {
  auto shared = WIImageCache::sharedImageCache();
  auto picture = UIImage::imageWithData(dataOf(pngImage(4, 4, true)));
  const std::string tail = "/Library/Caches/default/com.velkontor.WIWebImageCache.default";
  std::string first;
  std::mutex gate;
  std::unique_lock<std::mutex> held(gate);
  {
    TempHome home;
    first = home.path();
    EXPECT_EQ(shared->diskCachePath()->utf8(), first + tail);
    shared->storeImage(picture, "http://h/first"_ns);
    drainQueue(shared->ioQueue());
    EXPECT_TRUE(shared->diskImageExistsWithKey("http://h/first"_ns));
    // The queue is busy elsewhere while the next picture is stored and the home goes.
    dispatch_async(shared->ioQueue(), [&gate] { std::lock_guard<std::mutex> wait(gate); });
    shared->storeImage(picture, "http://h/late"_ns);
  }
  held.unlock();
  drainQueue(shared->ioQueue());
  struct stat st{};
  EXPECT_NE(stat(first.c_str(), &st), 0) << "the removed home was made again";

  TempHome next;
  EXPECT_EQ(shared->diskCachePath()->utf8(), next.path() + tail);
  shared->storeImage(picture, "http://h/next"_ns);
  drainQueue(shared->ioQueue());
  EXPECT_EQ(stat((next.path() + tail).c_str(), &st), 0);
  EXPECT_TRUE(shared->diskImageExistsWithKey("http://h/next"_ns));
  EXPECT_FALSE(shared->diskImageExistsWithKey("http://h/first"_ns)) << "the other home's pictures are not read";
  EXPECT_EQ(shared->getDiskCount(), 1u);
  shared->clearMemory();
}

TEST_F(ImageCacheTest, QueriesAnswerFromMemoryAtOnceAndFromDiskOnTheMainQueue) {
  auto key = "http://h/a@2x.jpg"_ns;
  cache->storeImage(wi_imageWithData(dataOf(jpegImage(8, 8))), false, dataOf(jpegImage(8, 8)), key, true);
  drainQueue(cache->ioQueue());
  cache->clearMemory();

  std::vector<std::pair<bool, WIImageCacheSource>> answers;
  auto record = [&](const std::shared_ptr<UIImage>& image, WIImageCacheSource source) { answers.emplace_back(image != nullptr, source); };
  EXPECT_TRUE(cache->queryDiskCacheForKey(key, record));
  EXPECT_TRUE(answers.empty());  // the disk is read on the IO queue, the answer comes on the main queue
  ASSERT_TRUE(runMainLoopUntil([&] { return answers.size() == 1; }));
  EXPECT_EQ(answers.back(), std::make_pair(true, WIImageCacheSourceDisk));
  auto remembered = cache->imageFromMemoryCacheForKey(key);
  ASSERT_TRUE(remembered);
  EXPECT_EQ(remembered->scale(), 2.0);
  EXPECT_EQ(CGImageGetAlphaInfo(remembered->CGImage()), kCGImageAlphaPremultipliedFirst);  // forced decode

  EXPECT_FALSE(cache->queryDiskCacheForKey(key, record));  // a memory hit, at once
  EXPECT_EQ(answers.back(), std::make_pair(true, WIImageCacheSourceMemory));
  EXPECT_FALSE(cache->queryDiskCacheForKey(nullptr, record));
  EXPECT_EQ(answers.back(), std::make_pair(false, WIImageCacheSourceNone));
  EXPECT_FALSE(cache->queryDiskCacheForKey(key, nullptr));

  // A miss reports the disk without an image; a cancelled query never answers.
  EXPECT_TRUE(cache->queryDiskCacheForKey("http://h/missing"_ns, record));
  dispatch_suspend(cache->ioQueue());
  cache->queryDiskCacheForKey("http://h/missing"_ns, record)->cancel();
  dispatch_resume(cache->ioQueue());
  drainQueue(cache->ioQueue());
  drainMainLoop();
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers.back(), std::make_pair(false, WIImageCacheSourceDisk));

  // Synchronous reads: memory, then the disk on the calling thread.
  cache->clearMemory();
  EXPECT_TRUE(cache->imageFromDiskCacheForKey(key));
  EXPECT_TRUE(cache->imageFromMemoryCacheForKey(key));
}

TEST_F(ImageCacheTest, ReadsReadOnlyPathsAfterItsOwn) {
  auto other = WIImageCache::initWithNamespace("shipped"_ns);
  other->storeImage(wi_imageWithData(dataOf(pngImage(2, 2, false))), false, dataOf(pngImage(2, 2, false)), "http://h/b.png"_ns, true);
  drainQueue(other->ioQueue());
  cache->addReadOnlyCachePath(other->diskCachePath());
  cache->addReadOnlyCachePath(other->diskCachePath());
  EXPECT_TRUE(cache->diskImageDataBySearchingAllPathsForKey("http://h/b.png"_ns));
  EXPECT_FALSE(cache->diskImageExistsWithKey("http://h/b.png"_ns));  // presence asks the own directory only
  cache->removeImageForKey("http://h/b.png"_ns);
  drainQueue(cache->ioQueue());
  EXPECT_TRUE(other->diskImageExistsWithKey("http://h/b.png"_ns));  // read-only files stay
}

TEST_F(ImageCacheTest, RemovesFromMemoryAndDisk) {
  auto image = wi_imageWithData(dataOf(pngImage(2, 2, false)));
  auto key = "http://h/r.png"_ns;
  int completions = 0;
  cache->storeImage(image, false, dataOf(pngImage(2, 2, false)), key, true);
  cache->removeImageForKey(key, false, [&] { ++completions; });
  EXPECT_EQ(completions, 1);  // before returning
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey(key));
  drainQueue(cache->ioQueue());
  EXPECT_TRUE(cache->diskImageExistsWithKey(key));
  cache->removeImageForKeyWithCompletion(key, [&] { ++completions; });
  EXPECT_EQ(completions, 1);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions == 2; }));
  EXPECT_FALSE(cache->diskImageExistsWithKey(key));
  cache->removeImageForKey(nullptr, true, [&] { ++completions; });
  drainQueue(cache->ioQueue());
  drainMainLoop();
  EXPECT_EQ(completions, 2);

  bool exists = true;
  cache->diskImageExistsWithKey(key, [&](bool answer) { exists = answer; });
  ASSERT_TRUE(runMainLoopUntil([&] { return !exists; }));
}

TEST_F(ImageCacheTest, AReadBegunBeforeARemovalDoesNotBringTheImageBackIntoMemory) {
  // A picture changed under its address: the screen removes it, then loads it again once the
  // removal is done. A disk read of the old picture still queued meanwhile answers its own
  // caller, but must not put the old picture back into memory, or the new load is served it.
  struct Case {
    const char* name;
    std::function<void(const std::shared_ptr<NSString>& key, int& done)> remove;
  };
  const Case cases[] = {
      {"removal from disk", [&](const auto& key, int& done) { cache->removeImageForKeyWithCompletion(key, [&done] { ++done; }); }},
      {"clearing memory and disk",
       [&](const auto&, int& done) {
         cache->clearMemory();
         cache->clearDiskOnCompletion([&done] { ++done; });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto key = "http://h/avatar.png"_ns;
    cache->storeImage(wi_imageWithData(dataOf(pngImage(2, 2, false))), false, dataOf(pngImage(2, 2, false)), key, true);
    drainQueue(cache->ioQueue());
    cache->clearMemory();

    int answered = 0, removed = 0;
    dispatch_suspend(cache->ioQueue());  // the read waits for the disk queue, as it does behind other work
    ASSERT_TRUE(cache->queryDiskCacheForKey(key, [&](const std::shared_ptr<UIImage>& image, WIImageCacheSource) {
      EXPECT_TRUE(image);  // asked before the removal: the picture it found
      ++answered;
    }));
    c.remove(key, removed);
    dispatch_resume(cache->ioQueue());
    drainQueue(cache->ioQueue());
    ASSERT_TRUE(runMainLoopUntil([&] { return answered == 1 && removed == 1; }));
    EXPECT_FALSE(cache->imageFromMemoryCacheForKey(key));

    // The picture stored again is read into memory as always.
    cache->storeImage(wi_imageWithData(dataOf(pngImage(3, 3, false))), false, dataOf(pngImage(3, 3, false)), key, true);
    drainQueue(cache->ioQueue());
    cache->clearMemory();
    cache->queryDiskCacheForKey(key, [&](const std::shared_ptr<UIImage>&, WIImageCacheSource) { ++answered; });
    ASSERT_TRUE(runMainLoopUntil([&] { return answered == 2; }));
    auto stored = cache->imageFromMemoryCacheForKey(key);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size().width * stored->scale(), 3);
  }
}

TEST_F(ImageCacheTest, CleaningDeletesByAgeThenTrimsToHalfTheSizeLimit) {
  VirtualClockScope clock;
  // Files of whole pages, so that their allocated size is their length.
  auto store = [&](const std::string& key) {
    cache->storeImage(wi_imageWithData(dataOf(pngImage(1, 1, false))), false, NSData::dataWithString(std::string(8192, 'x')),
                      NSString::stringWithUTF8String(key), true);
    drainQueue(cache->ioQueue());
  };
  auto held = [&](const std::vector<std::string>& keys) {
    std::string out;
    for (const auto& key : keys) out += cache->diskImageExistsWithKey(NSString::stringWithUTF8String(key)) ? key : "-";
    return out;
  };
  cache->setMaxCacheAge(100);
  const double steps[] = {50, 47, 1, 1, 1};
  store("a");
  for (int i = 0; i < 5; ++i) {
    clock.advanceBy(steps[i]);
    store(std::string(1, static_cast<char>('b' + i)));
  }
  // Now "a" is exactly maxCacheAge old: expired.
  bool cleaned = false;
  cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return cleaned; }));
  EXPECT_EQ(held({"a", "b", "c", "d", "e", "f"}), "-bcdef");

  // 40 KiB held, limit 32 KiB: the oldest go until less than 16 KiB is left.
  cache->setMaxCacheSize(32768);
  cleaned = false;
  cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return cleaned; }));
  EXPECT_EQ(held({"a", "b", "c", "d", "e", "f"}), "-----f");

  // In the background, inside a task that ends with the cleaning.
  cache->setMaxCacheSize(0);
  clock.advanceBy(200);
  UIApplication::sharedApplication()->enterBackground();
  EXPECT_GE(UIApplication::sharedApplication()->openBackgroundTaskCount(), 1u);
  drainQueue(cache->ioQueue());
  ASSERT_TRUE(runMainLoopUntil([] { return UIApplication::sharedApplication()->openBackgroundTaskCount() == 0; }));
  EXPECT_EQ(held({"f"}), "-");
  UIApplication::sharedApplication()->enterForeground();
}

TEST_F(ImageCacheTest, TheApplicationEndsOnlyOnceTheDiskIsCleanedAndWritten) {
  // Where the application never goes to the background, its termination is when the disk is
  // cleaned; the process ends right after, so the cleaning, and the pictures still being
  // written ahead of it, must be done by the time the termination returns.
  VirtualClockScope clock;
  cache->setMaxCacheAge(100);
  cache->storeImage(wi_imageWithData(dataOf(pngImage(1, 1, false))), false, dataOf(pngImage(1, 1, false)), "http://h/old.png"_ns, true);
  drainQueue(cache->ioQueue());
  clock.advanceBy(200);
  // Pictures downloaded just before, encoded again on the disk queue: it is busy for a while.
  auto picture = wi_imageWithData(dataOf(pngImage(600, 600, true)));
  for (int i = 0; i < 8; ++i) cache->storeImage(picture, NSString::stringWithFormat("http://h/new%d.png", i));
  UIApplication::sharedApplication()->terminate();

  // As it is on disk now, without waiting for the queue.
  struct stat st{};
  EXPECT_NE(stat(pathOf("http://h/old.png").c_str(), &st), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(stat(pathOf("http://h/new" + std::to_string(i) + ".png").c_str(), &st), 0) << i;
  std::vector<std::string> hidden;
  for (auto* dir = opendir(cache->diskCachePath()->UTF8String()); dir;) {
    auto* entry = readdir(dir);
    if (!entry) {
      closedir(dir);
      break;
    }
    if (entry->d_name[0] == '.' && std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") hidden.push_back(entry->d_name);
  }
  EXPECT_TRUE(hidden.empty()) << hidden.front();  // no file left half written
}

TEST_F(ImageCacheTest, CleaningDeletesWhatAnEarlierProcessLeftHalfWritten) {
  // A process killed while writing a picture leaves the hidden file it was writing: cleaning
  // deletes it, or it would take room (and count in the size shown) until the cache is
  // cleared. A file this process is writing for another cache of the directory stays.
  cache->storeImage(wi_imageWithData(dataOf(pngImage(1, 1, false))), false, dataOf(pngImage(1, 1, false)), "http://h/kept.png"_ns, true);
  drainQueue(cache->ioQueue());
  const std::string dir = cache->diskCachePath()->utf8();
  const struct {
    std::string name;
    bool kept;
  } cases[] = {
      {".writing-999999999-1", false},                       // an earlier process
      {".writing-" + std::to_string(getpid()) + "-1", true},  // this one
      {".other", true},                                       // not ours to judge
  };
  for (const auto& c : cases) std::ofstream(dir + "/" + c.name) << std::string(5000, 'x');
  bool cleaned = false;
  cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return cleaned; }));
  struct stat st{};
  for (const auto& c : cases) EXPECT_EQ(stat((dir + "/" + c.name).c_str(), &st) == 0, c.kept) << c.name;
  EXPECT_TRUE(cache->diskImageExistsWithKey("http://h/kept.png"_ns));
}

TEST_F(ImageCacheTest, CountsSizesAndClears) {
  for (int i = 0; i < 3; ++i) {
    cache->storeImage(wi_imageWithData(dataOf(pngImage(1, 1, false))), false, NSData::dataWithString(std::string(100 + i, 'x')),
                      NSString::stringWithFormat("http://h/%d.png", i), true);
  }
  EXPECT_EQ(cache->getSize(), 303u);
  EXPECT_EQ(cache->getDiskCount(), 3u);
  NSUInteger files = 0, bytes = 0;
  cache->calculateSizeWithCompletionBlock([&](NSUInteger count, NSUInteger size) {
    files = count;
    bytes = size;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return files == 3; }));
  EXPECT_EQ(bytes, 303u);
  bool cleared = false;
  cache->clearDiskOnCompletion([&] { cleared = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return cleared; }));
  EXPECT_EQ(cache->getDiskCount(), 0u);
  struct stat st{};
  EXPECT_EQ(stat(cache->diskCachePath()->UTF8String(), &st), 0);  // made again, empty
}

TEST_F(ImageCacheTest, MemoryWarningsAndLimitsBoundTheMemoryCache) {
  auto image = wi_imageWithData(dataOf(pngImage(10, 10, false)));  // 100 pixels
  cache->setMaxMemoryCost(250);
  EXPECT_EQ(cache->maxMemoryCost(), 250u);
  for (int i = 0; i < 4; ++i) cache->storeImage(image, NSString::stringWithFormat("k%d", i), false);
  EXPECT_EQ(cache->memCache()->count(), 2u);
  EXPECT_TRUE(cache->imageFromMemoryCacheForKey("k3"_ns));
  cache->setMaxMemoryCost(0);
  cache->setMaxMemoryCountLimit(3);
  for (int i = 0; i < 4; ++i) cache->storeImage(image, NSString::stringWithFormat("k%d", i), false);
  EXPECT_EQ(cache->memCache()->count(), 3u);
  UIApplication::sharedApplication()->receiveMemoryWarning();
  EXPECT_EQ(cache->memCache()->count(), 0u);

  cache->setShouldCacheImagesInMemory(false);
  cache->storeImage(image, "k9"_ns, false);
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey("k9"_ns));
}

}  // namespace
