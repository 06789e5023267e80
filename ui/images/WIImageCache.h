#pragma once
// The two-level store of remote images: decoded images in memory (an NSCache that empties on
// memory warnings) and their bytes on disk, one file per key in one flat directory, named by
// the MD5 of the key plus the key's path extension. Every disk operation of a cache runs on
// its serial IO queue ("com.velkontor.WIWebImageCache"), in the order queued; completions come
// on the main queue, except the immediate answers (nil key, memory hit, removal from memory
// only), which run on the calling thread.
//
// The shared cache keeps its files in the Caches folder of the current home and follows a
// change of home (tests give each test a home of its own): a picture goes into the folder of
// the home it was stored under, and is not written at all once that home has been removed.
// The application's termination cleans the disk and waits for that and for the writes queued
// before it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSCache.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIImage.h"

enum WIImageCacheSource : NSInteger {
  WIImageCacheSourceNone = 0,
  WIImageCacheSourceDisk = 1,
  WIImageCacheSourceMemory = 2,
};

using WIWebImageQueryCompletedBlock = std::function<void(const std::shared_ptr<UIImage>& image, WIImageCacheSource cacheType)>;
using WIWebImageCheckCacheCompletionBlock = std::function<void(bool isInCache)>;
using WIWebImageCalculateSizeBlock = std::function<void(NSUInteger fileCount, NSUInteger totalSize)>;
using WIWebImageNoParamsBlock = std::function<void()>;

// An NSCache that empties itself on every memory warning.
class WIAutoPurgeCache : public NSCache {
 public:
  // init: made and registered for UIApplicationDidReceiveMemoryWarningNotification.
  static std::shared_ptr<WIAutoPurgeCache> make();
  ~WIAutoPurgeCache() override;
  WIAutoPurgeCache() = default;
};

class WIImageCache : public NSObject {
 public:
  // The one shared cache, made on first use (namespace "default").
  static std::shared_ptr<WIImageCache> sharedImageCache();
  // init, initWithNamespace:, initWithNamespace:diskCacheDirectory: (nil directory: the Caches
  // directory with the namespace appended).
  static std::shared_ptr<WIImageCache> make();
  static std::shared_ptr<WIImageCache> initWithNamespace(const std::shared_ptr<NSString>& ns);
  static std::shared_ptr<WIImageCache> initWithNamespace(const std::shared_ptr<NSString>& ns,
                                                         const std::shared_ptr<NSString>& directory);
  ~WIImageCache() override;

  // makeDiskCachePath: the user's Caches directory with the name appended.
  std::shared_ptr<NSString> makeDiskCachePath(const std::shared_ptr<NSString>& fullNamespace) const;

  // --- paths
  // The MD5 of the key's UTF-8 bytes in 32 lowercase hex digits, plus "." and the key's path
  // extension when it has one. A name that would pass the file system's limit of 255 bytes
  // drops the extension.
  std::shared_ptr<NSString> cachedFileNameForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<NSString> cachePathForKey(const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& path) const;
  std::shared_ptr<NSString> defaultCachePathForKey(const std::shared_ptr<NSString>& key) const;
  // A further directory searched (after the cache's own) when reading; never written.
  void addReadOnlyCachePath(const std::shared_ptr<NSString>& path);
  // The shared cache's path is the one in the current home.
  std::shared_ptr<NSString> diskCachePath() const;

  // --- storing: the image goes into memory under the key (when shouldCacheImagesInMemory) and,
  // to disk, its bytes on the IO queue: the given bytes, or, when recalculating or none are
  // given, the image encoded again (PNG when the bytes start with the PNG signature, or without
  // bytes when the image has alpha; JPEG of quality 1.0 otherwise). Nil image or key: nothing.
  void storeImage(const std::shared_ptr<UIImage>& image, bool recalculateFromImage, const std::shared_ptr<NSData>& imageData,
                  const std::shared_ptr<NSString>& key, bool toDisk);
  void storeImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& key);
  void storeImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& key, bool toDisk);

  // --- reading
  // Memory only; any thread.
  std::shared_ptr<UIImage> imageFromMemoryCacheForKey(const std::shared_ptr<NSString>& key) const;
  // Memory, else disk on the calling thread (a disk hit then goes into memory).
  std::shared_ptr<UIImage> imageFromDiskCacheForKey(const std::shared_ptr<NSString>& key);
  // The bytes of the first of the default directory and the read-only ones that holds the key.
  std::shared_ptr<NSData> diskImageDataBySearchingAllPathsForKey(const std::shared_ptr<NSString>& key) const;
  // Those bytes decoded, given the key's scale and, when shouldDecompressImages, force-decoded.
  std::shared_ptr<UIImage> diskImageForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<UIImage> scaledImageForKey(const std::shared_ptr<NSString>& key, const std::shared_ptr<UIImage>& image) const;
  // Without `done` nothing happens (nil). A nil key answers (nil, none) and a memory hit
  // (image, memory) at once on the calling thread (nil). Otherwise the disk is read on the IO
  // queue and `done` gets (image or nil, disk) on the main queue; the operation returned only
  // serves to cancel: cancelled before the IO queue reaches it, nothing is read or answered.
  std::shared_ptr<NSOperation> queryDiskCacheForKey(const std::shared_ptr<NSString>& key, WIWebImageQueryCompletedBlock done);

  // --- presence (default directory only, never memory)
  bool diskImageExistsWithKey(const std::shared_ptr<NSString>& key) const;
  void diskImageExistsWithKey(const std::shared_ptr<NSString>& key, WIWebImageCheckCacheCompletionBlock completion);

  // --- removal: from memory, and from disk on the IO queue (completion on the main queue), or
  // without disk with the completion at once. A nil key does nothing, not even the completion.
  void removeImageForKey(const std::shared_ptr<NSString>& key, bool fromDisk, WIWebImageNoParamsBlock completion);
  void removeImageForKey(const std::shared_ptr<NSString>& key);
  // removeImageForKey:withCompletion: (from disk)
  void removeImageForKeyWithCompletion(const std::shared_ptr<NSString>& key, WIWebImageNoParamsBlock completion);
  // removeImageForKey:fromDisk:
  void removeImageForKey(const std::shared_ptr<NSString>& key, bool fromDisk);

  // --- whole cache
  void clearMemory();
  void clearDisk();
  void clearDiskOnCompletion(WIWebImageNoParamsBlock completion);
  // Deletes files not modified for maxCacheAge, then, above maxCacheSize, the oldest files
  // until less than half of it is left.
  void cleanDisk();
  void cleanDiskWithCompletionBlock(WIWebImageNoParamsBlock completion);
  // Cleaning inside a background task of the application.
  void backgroundCleanDisk();
  // Synchronously on the IO queue (never call them from it).
  NSUInteger getSize();
  NSUInteger getDiskCount();
  void calculateSizeWithCompletionBlock(WIWebImageCalculateSizeBlock completion);

  // --- settings
  bool shouldDecompressImages() const { return shouldDecompressImages_; }
  void setShouldDecompressImages(bool value) { shouldDecompressImages_ = value; }
  bool shouldDisableiCloud() const { return shouldDisableiCloud_; }
  void setShouldDisableiCloud(bool value) { shouldDisableiCloud_ = value; }
  bool shouldCacheImagesInMemory() const { return shouldCacheImagesInMemory_; }
  void setShouldCacheImagesInMemory(bool value) { shouldCacheImagesInMemory_ = value; }
  NSUInteger maxMemoryCost() const { return memCache_->totalCostLimit(); }
  void setMaxMemoryCost(NSUInteger cost) { memCache_->setTotalCostLimit(cost); }
  NSUInteger maxMemoryCountLimit() const { return memCache_->countLimit(); }
  void setMaxMemoryCountLimit(NSUInteger count) { memCache_->setCountLimit(count); }
  int64_t maxCacheAge() const { return maxCacheAge_; }
  void setMaxCacheAge(int64_t seconds) { maxCacheAge_ = seconds; }
  uint64_t maxCacheSize() const { return maxCacheSize_; }
  void setMaxCacheSize(uint64_t bytes) { maxCacheSize_ = bytes; }

  const std::shared_ptr<WIAutoPurgeCache>& memCache() const { return memCache_; }
  const dispatch_queue_t& ioQueue() const { return ioQueue_; }

  WIImageCache() = default;

 private:
  void setUp(const std::shared_ptr<NSString>& ns, const std::shared_ptr<NSString>& directory);
  // At the application's termination: cleaning, waited for together with what is queued.
  void cleanDiskBeforeTermination();
  std::vector<std::shared_ptr<NSString>> readOnlyPaths() const;
  // Writes into `directory`, the cache's folder when the image was stored.
  void writeToDisk(const std::shared_ptr<UIImage>& image, bool recalculate, const std::shared_ptr<NSData>& data,
                   const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& directory);
  // Makes the cache's folder: with every missing folder above it, or, for the shared cache,
  // only below the home's Caches folder (a home that has gone is not made again).
  void makeFolder(const std::shared_ptr<NSString>& directory) const;

  std::shared_ptr<WIAutoPurgeCache> memCache_;
  std::shared_ptr<NSString> namespace_;
  bool followsHome_ = false;  // the shared cache
  mutable std::mutex diskPathMutex_;
  mutable std::shared_ptr<NSString> diskCachePath_;
  mutable uint64_t homeGeneration_ = 0;  // the home's when diskCachePath_ was worked out
  mutable std::mutex pathsMutex_;  // customPaths_ is read on the IO queue, added to anywhere
  std::vector<std::shared_ptr<NSString>> customPaths_;
  dispatch_queue_t ioQueue_;
  std::atomic<bool> shouldDecompressImages_{true};
  std::atomic<bool> shouldDisableiCloud_{true};
  std::atomic<bool> shouldCacheImagesInMemory_{true};
  std::atomic<int64_t> maxCacheAge_{604800};
  std::atomic<uint64_t> maxCacheSize_{0};
  // Counts the removals from disk (of a key or of everything) asked for so far. A disk read
  // queued before one of them found what the removal is about to delete: it answers its
  // caller but leaves memory alone, so that the removed picture does not come back there.
  std::atomic<uint64_t> diskRemovals_{0};
  std::vector<zvt::ObserverToken> observations_;
};
