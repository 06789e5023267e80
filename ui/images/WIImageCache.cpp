#include "ui/images/WIImageCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSThread.h"
#include "platform/uikit/UIApplication.h"
#include "ui/images/UIImage+AnyFormat.h"
#include "ui/images/UIImage+Predecode.h"
#include "ui/images/WIWebImageCompat.h"

namespace {

constexpr const char* kNamespacePrefix = "com.velkontor.WIWebImageCache.";
constexpr const char* kIOQueueLabel = "com.velkontor.WIWebImageCache";
constexpr size_t kMaxFileNameBytes = 255;
const uint8_t kPNGSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// A file of the cache as cleaning sees it.
struct DiskEntry {
  std::string path;
  double modified = 0;  // seconds since 1970
  uint64_t allocated = 0;
};

double secondsOf(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9; }

// Every file below `root`, hidden entries (and what lies in hidden directories) skipped.
void collectFiles(const std::string& root, std::vector<DiskEntry>& out) {
  DIR* dir = opendir(root.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::string path = root + "/" + entry->d_name;
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      collectFiles(path, out);
    } else {
      out.push_back(DiskEntry{path, secondsOf(st.st_mtim), static_cast<uint64_t>(st.st_blocks) * 512});
    }
  }
  closedir(dir);
}

// The hidden name a file is written under before it is renamed: the writer's process id and a
// serial number.
constexpr char kWritingPrefix[] = ".writing-";

// Deletes the files of `directory` that another process began writing and never renamed (it
// ended while writing). This process's own stay: another cache of the same directory may be
// writing them now.
void removeLeftoverWrites(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) return;
  const std::string ours = kWritingPrefix + std::to_string(getpid()) + "-";
  while (dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(kWritingPrefix) && !name.starts_with(ours)) unlink((directory + "/").append(name).c_str());
  }
  closedir(dir);
}

// Writes beside the target and renames, so that a reader on another thread sees the old file
// or the new one, never half of one. The file's date is the clock's now, which cleaning ages.
bool writeCacheFile(const std::string& directory, const std::string& path, const NSData& data) {
  // A hidden name: cleaning and size counts skip it while it is written.
  static std::atomic<uint64_t> serial{0};
  std::string temporary = directory + "/" + kWritingPrefix + std::to_string(getpid()) + "-" + std::to_string(++serial);
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const uint8_t* bytes = data.bytes();
  size_t left = data.length();
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, bytes, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    bytes += n;
    left -= static_cast<size_t>(n);
  }
  double now = Clock::now();
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(std::floor(now));
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>((now - std::floor(now)) * 1e9);
  if (ok) futimens(fd, times);
  if (close(fd) != 0) ok = false;
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

void removeTree(const std::string& path) {
  [[maybe_unused]] bool removed = NSFileManager::defaultManager()->removeItemAtPath(NSString::stringWithUTF8String(path), nullptr);
}

void makeDirectory(const std::shared_ptr<NSString>& path) {
  [[maybe_unused]] bool made = NSFileManager::defaultManager()->createDirectoryAtPath(path, true, nullptr, nullptr);
}

std::shared_ptr<NSString> cachesPathWith(const std::shared_ptr<NSString>& name) {
  auto paths = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
  auto caches = std::dynamic_pointer_cast<NSString>(paths->firstObject());
  return caches->stringByAppendingPathComponent(name);
}

bool hasAlpha(const std::shared_ptr<UIImage>& image) {
  switch (CGImageGetAlphaInfo(image->CGImage())) {
    case kCGImageAlphaNone:
    case kCGImageAlphaNoneSkipLast:
    case kCGImageAlphaNoneSkipFirst:
      return false;
    default:
      return true;
  }
}

}  // namespace

// ------------------------------------------------------------------------- WIAutoPurgeCache

std::shared_ptr<WIAutoPurgeCache> WIAutoPurgeCache::make() {
  auto cache = std::make_shared<WIAutoPurgeCache>();
  std::weak_ptr<WIAutoPurgeCache> weak = cache;
  NSNotificationCenter::defaultCenter()->addObserver(
      cache,
      [weak](const std::shared_ptr<NSNotification>&) {
        if (auto strong = weak.lock()) strong->removeAllObjects();
      },
      UIApplicationDidReceiveMemoryWarningNotification, nullptr);
  return cache;
}

// The observation is held weakly by the center and ends with the object.
WIAutoPurgeCache::~WIAutoPurgeCache() = default;

// ----------------------------------------------------------------------------- WIImageCache

std::shared_ptr<WIImageCache> WIImageCache::sharedImageCache() {
  // Never destroyed: blocks on its queue may outlive the static destructors.
  static auto* shared = new std::shared_ptr<WIImageCache>([] {
    auto cache = make();
    cache->followsHome_ = true;
    return cache;
  }());
  return *shared;
}

std::shared_ptr<WIImageCache> WIImageCache::make() { return initWithNamespace("default"_ns); }

std::shared_ptr<WIImageCache> WIImageCache::initWithNamespace(const std::shared_ptr<NSString>& ns) {
  return initWithNamespace(ns, cachesPathWith(ns));
}

std::shared_ptr<WIImageCache> WIImageCache::initWithNamespace(const std::shared_ptr<NSString>& ns,
                                                              const std::shared_ptr<NSString>& directory) {
  auto cache = std::make_shared<WIImageCache>();
  cache->setUp(ns, directory);
  return cache;
}

void WIImageCache::setUp(const std::shared_ptr<NSString>& ns, const std::shared_ptr<NSString>& directory) {
  auto fullNamespace = NSString::stringWithFormat("%s%@", kNamespacePrefix, ns);
  ioQueue_ = dispatch_queue_create(kIOQueueLabel, DISPATCH_QUEUE_SERIAL);
  memCache_ = WIAutoPurgeCache::make();
  memCache_->setName(fullNamespace);
  namespace_ = ns;
  auto base = directory ? directory : cachesPathWith(ns);
  homeGeneration_ = zvt::sandboxGeneration();
  diskCachePath_ = base->stringByAppendingPathComponent(fullNamespace);

  std::weak_ptr<WIImageCache> weak = std::static_pointer_cast<WIImageCache>(self());
  auto center = NSNotificationCenter::defaultCenter();
  auto on = [&](const NSNotificationName& name, void (WIImageCache::*action)()) {
    observations_.push_back(zvt::observe(center, name, nullptr, nullptr, [weak, action](const std::shared_ptr<NSNotification>&) {
      if (auto strong = weak.lock()) (strong.get()->*action)();
    }));
  };
  on(UIApplicationDidReceiveMemoryWarningNotification, &WIImageCache::clearMemory);
  on(UIApplicationWillTerminateNotification, &WIImageCache::cleanDiskBeforeTermination);
  on(UIApplicationDidEnterBackgroundNotification, &WIImageCache::backgroundCleanDisk);
}

WIImageCache::~WIImageCache() = default;

std::shared_ptr<NSString> WIImageCache::diskCachePath() const {
  std::lock_guard<std::mutex> lock(diskPathMutex_);
  // Worked out again on the main thread only, where the home changes: the IO queue reads the
  // path the last call there left (it never reads the home itself, which may be gone while the
  // process exits). Every call that queues disk work asks for the path first.
  if (followsHome_ && homeGeneration_ != zvt::sandboxGeneration() && NSThread::isMainThread()) {
    homeGeneration_ = zvt::sandboxGeneration();
    diskCachePath_ = cachesPathWith(namespace_)->stringByAppendingPathComponent(
        NSString::stringWithFormat("%s%@", kNamespacePrefix, namespace_));
  }
  return diskCachePath_;
}

void WIImageCache::makeFolder(const std::shared_ptr<NSString>& directory) const {
  if (!followsHome_) {
    makeDirectory(directory);
    return;
  }
  // "<home>/Library/Caches/<namespace>/<full namespace>": the two folders below Caches.
  ::mkdir(directory->stringByDeletingLastPathComponent()->UTF8String(), 0755);
  ::mkdir(directory->UTF8String(), 0755);
}

std::shared_ptr<NSString> WIImageCache::makeDiskCachePath(const std::shared_ptr<NSString>& fullNamespace) const {
  return cachesPathWith(fullNamespace);
}

// ------------------------------------------------------------------------------------ paths

std::shared_ptr<NSString> WIImageCache::cachedFileNameForKey(const std::shared_ptr<NSString>& key) const {
  const std::string text = key ? key->utf8() : std::string();
  unsigned char digest[CC_MD5_DIGEST_LENGTH];
  CC_MD5(text.data(), static_cast<CC_LONG>(text.size()), digest);
  static const char* hex = "0123456789abcdef";
  std::string name;
  name.reserve(2 * CC_MD5_DIGEST_LENGTH + 16);
  for (unsigned char byte : digest) {
    name.push_back(hex[byte >> 4]);
    name.push_back(hex[byte & 15]);
  }
  auto extension = key ? key->pathExtension() : nullptr;
  if (extension && extension->length() > 0) {
    // A long extension (a query after the last dot) would make a name no file system takes.
    if (name.size() + 1 + extension->utf8().size() <= kMaxFileNameBytes) name += "." + extension->utf8();
  }
  return NSString::stringWithUTF8String(name);
}

std::shared_ptr<NSString> WIImageCache::cachePathForKey(const std::shared_ptr<NSString>& key,
                                                        const std::shared_ptr<NSString>& path) const {
  return path->stringByAppendingPathComponent(cachedFileNameForKey(key));
}

std::shared_ptr<NSString> WIImageCache::defaultCachePathForKey(const std::shared_ptr<NSString>& key) const {
  return cachePathForKey(key, diskCachePath());
}

void WIImageCache::addReadOnlyCachePath(const std::shared_ptr<NSString>& path) {
  if (!path) return;
  std::lock_guard<std::mutex> lock(pathsMutex_);
  for (const auto& existing : customPaths_) {
    if (existing->isEqualToString(path)) return;
  }
  customPaths_.push_back(path->copy());
}

std::vector<std::shared_ptr<NSString>> WIImageCache::readOnlyPaths() const {
  std::lock_guard<std::mutex> lock(pathsMutex_);
  return customPaths_;
}

// ---------------------------------------------------------------------------------- storing

void WIImageCache::storeImage(const std::shared_ptr<UIImage>& image, bool recalculateFromImage,
                              const std::shared_ptr<NSData>& imageData, const std::shared_ptr<NSString>& key, bool toDisk) {
  if (!image || !key) return;
  if (shouldCacheImagesInMemory_) memCache_->setObject(image, key, zvt::images::imageCost(image));
  if (!toDisk) return;
  auto me = std::static_pointer_cast<WIImageCache>(self());
  dispatch_async(ioQueue_, [me, image, recalculateFromImage, imageData, key, directory = diskCachePath()] {
    me->writeToDisk(image, recalculateFromImage, imageData, key, directory);
  });
}

void WIImageCache::writeToDisk(const std::shared_ptr<UIImage>& image, bool recalculate, const std::shared_ptr<NSData>& data,
                               const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& directory) {
  auto bytes = data;
  if (image && (recalculate || !data)) {
    bool png;
    if (data && data->length() >= sizeof kPNGSignature) {
      png = std::memcmp(data->bytes(), kPNGSignature, sizeof kPNGSignature) == 0;
    } else {
      png = hasAlpha(image);
    }
    bytes = png ? UIImagePNGRepresentation(image) : UIImageJPEGRepresentation(image, 1.0);
  }
  if (!bytes) return;
  makeFolder(directory);
  auto path = cachePathForKey(key, directory);
  if (writeCacheFile(directory->utf8(), path->utf8(), *bytes) && shouldDisableiCloud_) {
    // There is no backup service here; the mark is kept where a backup tool could read it.
    // File systems without user attributes simply do without.
    static const char kExcluded[] = "1";
    setxattr(path->UTF8String(), "user.excluded-from-backup", kExcluded, 1, 0);
  }
}

void WIImageCache::storeImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& key) {
  storeImage(image, true, nullptr, key, true);
}

void WIImageCache::storeImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& key, bool toDisk) {
  storeImage(image, true, nullptr, key, toDisk);
}

// ---------------------------------------------------------------------------------- reading

std::shared_ptr<UIImage> WIImageCache::imageFromMemoryCacheForKey(const std::shared_ptr<NSString>& key) const {
  return std::static_pointer_cast<UIImage>(memCache_->objectForKey(key));
}

std::shared_ptr<UIImage> WIImageCache::imageFromDiskCacheForKey(const std::shared_ptr<NSString>& key) {
  if (auto image = imageFromMemoryCacheForKey(key)) return image;
  auto image = diskImageForKey(key);
  if (image && shouldCacheImagesInMemory_) memCache_->setObject(image, key, zvt::images::imageCost(image));
  return image;
}

std::shared_ptr<NSData> WIImageCache::diskImageDataBySearchingAllPathsForKey(const std::shared_ptr<NSString>& key) const {
  if (!key) return nullptr;
  if (auto data = NSData::dataWithContentsOfFile(defaultCachePathForKey(key))) return data;
  for (const auto& path : readOnlyPaths()) {
    if (auto data = NSData::dataWithContentsOfFile(cachePathForKey(key, path))) return data;
  }
  return nullptr;
}

std::shared_ptr<UIImage> WIImageCache::diskImageForKey(const std::shared_ptr<NSString>& key) const {
  auto data = diskImageDataBySearchingAllPathsForKey(key);
  if (!data) return nullptr;
  auto image = scaledImageForKey(key, wi_imageWithData(data));
  if (image && shouldDecompressImages_) image = decodedImageWithImage(image);
  return image;
}

std::shared_ptr<UIImage> WIImageCache::scaledImageForKey(const std::shared_ptr<NSString>& key,
                                                         const std::shared_ptr<UIImage>& image) const {
  return zvt::images::scaledImageForKey(key, image);
}

std::shared_ptr<NSOperation> WIImageCache::queryDiskCacheForKey(const std::shared_ptr<NSString>& key,
                                                                WIWebImageQueryCompletedBlock done) {
  if (!done) return nullptr;
  if (!key) {
    done(nullptr, WIImageCacheSourceNone);
    return nullptr;
  }
  if (auto image = imageFromMemoryCacheForKey(key)) {
    done(image, WIImageCacheSourceMemory);
    return nullptr;
  }
  auto operation = NSOperation::make();
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  const uint64_t removals = diskRemovals_.load();
  dispatch_async(ioQueue_, [me, operation, key, removals, done = std::move(done)] {
    if (operation->isCancelled()) return;
    auto image = me->diskImageForKey(key);
    if (image && me->shouldCacheImagesInMemory_ && me->diskRemovals_.load() == removals) {
      me->memCache_->setObject(image, key, zvt::images::imageCost(image));
    }
    dispatch_async(dispatch_get_main_queue(), [done, image] { done(image, WIImageCacheSourceDisk); });
  });
  return operation;
}

// --------------------------------------------------------------------------------- presence

bool WIImageCache::diskImageExistsWithKey(const std::shared_ptr<NSString>& key) const {
  if (!key) return false;
  return NSFileManager::defaultManager()->fileExistsAtPath(defaultCachePathForKey(key));
}

void WIImageCache::diskImageExistsWithKey(const std::shared_ptr<NSString>& key, WIWebImageCheckCacheCompletionBlock completion) {
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  dispatch_async(ioQueue_, [me, key, completion = std::move(completion)] {
    bool exists = me->diskImageExistsWithKey(key);
    if (completion) dispatch_async(dispatch_get_main_queue(), [completion, exists] { completion(exists); });
  });
}

// ---------------------------------------------------------------------------------- removal

void WIImageCache::removeImageForKey(const std::shared_ptr<NSString>& key, bool fromDisk, WIWebImageNoParamsBlock completion) {
  if (!key) return;
  if (shouldCacheImagesInMemory_) memCache_->removeObjectForKey(key);
  if (!fromDisk) {
    if (completion) completion();
    return;
  }
  ++diskRemovals_;
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  dispatch_async(ioQueue_, [me, key, completion = std::move(completion)] {
    unlink(me->defaultCachePathForKey(key)->UTF8String());
    if (completion) dispatch_async(dispatch_get_main_queue(), completion);
  });
}

void WIImageCache::removeImageForKey(const std::shared_ptr<NSString>& key) { removeImageForKey(key, true, nullptr); }

void WIImageCache::removeImageForKeyWithCompletion(const std::shared_ptr<NSString>& key, WIWebImageNoParamsBlock completion) {
  removeImageForKey(key, true, std::move(completion));
}

void WIImageCache::removeImageForKey(const std::shared_ptr<NSString>& key, bool fromDisk) {
  removeImageForKey(key, fromDisk, nullptr);
}

// ------------------------------------------------------------------------------ whole cache

void WIImageCache::clearMemory() { memCache_->removeAllObjects(); }

void WIImageCache::clearDisk() { clearDiskOnCompletion(nullptr); }

void WIImageCache::clearDiskOnCompletion(WIWebImageNoParamsBlock completion) {
  ++diskRemovals_;
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  dispatch_async(ioQueue_, [me, completion = std::move(completion)] {
    auto directory = me->diskCachePath();
    removeTree(directory->utf8());
    me->makeFolder(directory);
    if (completion) dispatch_async(dispatch_get_main_queue(), completion);
  });
}

void WIImageCache::cleanDisk() { cleanDiskWithCompletionBlock(nullptr); }

void WIImageCache::cleanDiskBeforeTermination() {
  // The process ends right after: the cleaning, and the writes queued ahead of it, would end
  // with it (a write cut short leaves its hidden temporary file behind for good).
  cleanDisk();
  dispatch_sync(ioQueue_, [] {});
}

void WIImageCache::cleanDiskWithCompletionBlock(WIWebImageNoParamsBlock completion) {
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  dispatch_async(ioQueue_, [me, completion = std::move(completion)] {
    removeLeftoverWrites(me->diskCachePath()->utf8());
    std::vector<DiskEntry> files;
    collectFiles(me->diskCachePath()->utf8(), files);
    const double expiration = Clock::now() - static_cast<double>(me->maxCacheAge_.load());
    uint64_t currentSize = 0;
    std::vector<DiskEntry> kept;
    for (auto& file : files) {
      if (file.modified <= expiration) {
        unlink(file.path.c_str());
      } else {
        currentSize += file.allocated;
        kept.push_back(std::move(file));
      }
    }
    const uint64_t maxSize = me->maxCacheSize_.load();
    if (maxSize > 0 && currentSize > maxSize) {
      const uint64_t target = maxSize / 2;
      std::stable_sort(kept.begin(), kept.end(), [](const DiskEntry& a, const DiskEntry& b) { return a.modified < b.modified; });
      for (const auto& file : kept) {
        if (unlink(file.path.c_str()) == 0) {
          currentSize -= std::min(currentSize, file.allocated);
          if (currentSize < target) break;
        }
      }
    }
    if (completion) dispatch_async(dispatch_get_main_queue(), completion);
  });
}

void WIImageCache::backgroundCleanDisk() {
  auto application = UIApplication::sharedApplication();
  if (!application) return;
  // The identifier is shared by the expiration handler and the completion; whichever ends
  // the task first marks it invalid.
  auto task = std::make_shared<std::atomic<UIBackgroundTaskIdentifier>>(UIBackgroundTaskInvalid);
  auto end = [application, task] {
    UIBackgroundTaskIdentifier identifier = task->exchange(UIBackgroundTaskInvalid);
    if (identifier != UIBackgroundTaskInvalid) application->endBackgroundTask(identifier);
  };
  task->store(application->beginBackgroundTaskWithExpirationHandler(end));
  cleanDiskWithCompletionBlock(end);
}

NSUInteger WIImageCache::getSize() {
  NSUInteger size = 0;
  diskCachePath();  // the current home's, for the queue
  dispatch_sync(ioQueue_, [&] {
    auto manager = NSFileManager::defaultManager();
    auto directory = diskCachePath();
    auto enumerator = manager->enumeratorAtPath(directory);
    if (!enumerator) return;
    while (auto name = std::dynamic_pointer_cast<NSString>(enumerator->nextObject())) {
      auto attributes = manager->attributesOfItemAtPath(directory->stringByAppendingPathComponent(name), nullptr);
      if (auto bytes = attributes ? zvt::as<NSNumber>(attributes->objectForKey(NSFileSize)) : nullptr) {
        size += bytes->unsignedLongLongValue();
      }
    }
  });
  return size;
}

NSUInteger WIImageCache::getDiskCount() {
  NSUInteger count = 0;
  diskCachePath();  // the current home's, for the queue
  dispatch_sync(ioQueue_, [&] {
    auto enumerator = NSFileManager::defaultManager()->enumeratorAtPath(diskCachePath());
    if (!enumerator) return;
    while (enumerator->nextObject()) ++count;
  });
  return count;
}

void WIImageCache::calculateSizeWithCompletionBlock(WIWebImageCalculateSizeBlock completion) {
  auto me = std::static_pointer_cast<WIImageCache>(self());
  diskCachePath();  // the current home's, for the queue
  dispatch_async(ioQueue_, [me, completion = std::move(completion)] {
    NSUInteger fileCount = 0, totalSize = 0;
    std::vector<DiskEntry> files;
    collectFiles(me->diskCachePath()->utf8(), files);
    for (const auto& file : files) {
      struct stat st{};
      if (stat(file.path.c_str(), &st) == 0) totalSize += static_cast<NSUInteger>(st.st_size);
      ++fileCount;
    }
    if (completion) dispatch_async(dispatch_get_main_queue(), [completion, fileCount, totalSize] { completion(fileCount, totalSize); });
  });
}
