// The sandbox home, the file manager and the main bundle.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "tests/support/TempHome.h"

namespace {

std::shared_ptr<NSString> ns(const std::string& s) { return NSString::stringWithUTF8String(std::string_view(s)); }

std::vector<std::string> strings(const std::shared_ptr<NSArray>& array) {
  std::vector<std::string> out;
  if (array)
    for (NSUInteger i = 0; i < array->count(); ++i) out.push_back(zvt::as<NSString>(array->objectAtIndex(i))->utf8());
  return out;
}

void expectFileError(const std::shared_ptr<NSError>& error, NSInteger code, const std::string& path) {
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->domain()->isEqualToString("NSCocoaErrorDomain"));
  EXPECT_EQ(error->code(), code);
  auto reported = zvt::as<NSString>(error->userInfo()->objectForKey(NSFilePathErrorKey.get()));
  ASSERT_TRUE(reported);
  EXPECT_EQ(reported->utf8(), path);
  auto underlying = error->underlyingError();
  ASSERT_TRUE(underlying);
  EXPECT_TRUE(underlying->domain()->isEqualToString("NSPOSIXErrorDomain"));
}

class PersistenceFiles : public ::testing::Test {
 protected:
  zvt::test::TempHome home;
  std::shared_ptr<NSFileManager> fm = NSFileManager::defaultManager();
  std::string p(std::string_view rel) const { return home.pathFor(rel); }
};

TEST_F(PersistenceFiles, SandboxHomeHasTheStandardFolders) {
  EXPECT_EQ(NSHomeDirectory()->utf8(), home.path());
  EXPECT_EQ(NSTemporaryDirectory()->utf8(), home.path() + "/tmp/");
  EXPECT_EQ(strings(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true)),
            std::vector<std::string>{home.path() + "/Documents"});
  EXPECT_EQ(strings(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true)),
            std::vector<std::string>{home.path() + "/Library/Caches"});
  EXPECT_EQ(strings(NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true)),
            std::vector<std::string>{home.path() + "/Library"});
  EXPECT_EQ(strings(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, false)),
            std::vector<std::string>{"~/Library/Caches"});
  EXPECT_EQ(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSSystemDomainMask, true)->count(), 0u);
  for (const char* sub : {"Documents", "Library/Caches", "Library/Preferences", "tmp"}) {
    bool isDir = false;
    EXPECT_TRUE(fm->fileExistsAtPath(ns(p(sub)), &isDir)) << sub;
    EXPECT_TRUE(isDir) << sub;
  }
  // Child processes find the same home.
  EXPECT_EQ(std::string(getenv("ZVT_HOME")), home.path());
}

TEST_F(PersistenceFiles, HomesDoNotLeakBetweenTests) {
  std::string first;
  {
    zvt::test::TempHome inner;
    first = inner.path();
    EXPECT_EQ(NSHomeDirectory()->utf8(), first);
  }
  EXPECT_EQ(NSHomeDirectory()->utf8(), home.path());
  EXPECT_FALSE(fm->fileExistsAtPath(ns(first)));
}

TEST_F(PersistenceFiles, CreateReadAndInspectFiles) {
  auto file = ns(p("Documents/a.txt"));
  EXPECT_FALSE(fm->fileExistsAtPath(file));
  EXPECT_FALSE(fm->contentsAtPath(file));
  ASSERT_TRUE(fm->createFileAtPath(file, NSData::dataWithString("hello"), nullptr));
  bool isDir = true;
  EXPECT_TRUE(fm->fileExistsAtPath(file, &isDir));
  EXPECT_FALSE(isDir);
  EXPECT_EQ(fm->contentsAtPath(file)->view(), "hello");
  // Replacing keeps nothing of the old contents.
  ASSERT_TRUE(fm->createFileAtPath(file, NSData::dataWithString("hi"), nullptr));
  EXPECT_EQ(fm->contentsAtPath(file)->view(), "hi");
  ASSERT_TRUE(fm->createFileAtPath(ns(p("Documents/empty")), nullptr, nullptr));
  EXPECT_EQ(fm->contentsAtPath(ns(p("Documents/empty")))->length(), 0u);
  EXPECT_FALSE(fm->createFileAtPath(ns(p("missing/dir/x")), nullptr, nullptr));

  std::shared_ptr<NSError> error;
  auto attrs = fm->attributesOfItemAtPath(file, &error);
  ASSERT_TRUE(attrs) << NSStringFromObject(error);
  EXPECT_TRUE(zvt::objectsEqual(attrs->objectForKey(NSFileType.get()), NSFileTypeRegular.get()));
  EXPECT_EQ(zvt::as<NSNumber>(attrs->objectForKey(NSFileSize.get()))->unsignedLongLongValue(), 2u);
  auto modified = zvt::as<NSDate>(attrs->objectForKey(NSFileModificationDate.get()));
  ASSERT_TRUE(modified);
  struct stat st;
  ASSERT_EQ(::stat(file->UTF8String(), &st), 0);
  EXPECT_NEAR(modified->timeIntervalSince1970(), double(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9, 1e-6);
  auto dirAttrs = fm->attributesOfItemAtPath(ns(p("Documents")), nullptr);
  EXPECT_TRUE(zvt::objectsEqual(dirAttrs->objectForKey(NSFileType.get()), NSFileTypeDirectory.get()));

  // The modification date can be set (the image cache ages its files by it).
  auto old = NSDate::dateWithTimeIntervalSince1970(1000000000.5);
  ASSERT_TRUE(fm->setAttributes(NSDictionary::make({{NSFileModificationDate.get(), old}}), file, &error));
  EXPECT_TRUE(zvt::objectsEqual(fm->attributesOfItemAtPath(file, nullptr)->objectForKey(NSFileModificationDate.get()),
                                old));

  EXPECT_FALSE(fm->attributesOfItemAtPath(ns(p("nope")), &error));
  expectFileError(error, NSFileReadNoSuchFileError, p("nope"));
}

TEST_F(PersistenceFiles, DirectoriesWithAndWithoutIntermediates) {
  std::shared_ptr<NSError> error;
  auto deep = ns(p("Documents/image/a/b"));
  EXPECT_FALSE(fm->createDirectoryAtPath(deep, false, nullptr, &error));
  expectFileError(error, NSFileNoSuchFileError, p("Documents/image/a/b"));
  error = nullptr;
  ASSERT_TRUE(fm->createDirectoryAtPath(deep, true, nullptr, &error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(fm->createDirectoryAtPath(deep, true, nullptr, nullptr));  // exists: fine with intermediates
  EXPECT_FALSE(fm->createDirectoryAtPath(deep, false, nullptr, &error));
  expectFileError(error, NSFileWriteFileExistsError, p("Documents/image/a/b"));
  // A file in the way is never taken for a directory.
  fm->createFileAtPath(ns(p("Documents/file")), nullptr, nullptr);
  EXPECT_FALSE(fm->createDirectoryAtPath(ns(p("Documents/file")), true, nullptr, &error));
  EXPECT_FALSE(fm->createDirectoryAtPath(ns(p("Documents/file/sub")), true, nullptr, &error));
  // Permissions from the attributes are applied as given, whatever the umask.
  auto priv = ns(p("Documents/private"));
  ASSERT_TRUE(fm->createDirectoryAtPath(priv, false, NSDictionary::make({{NSFilePosixPermissions.get(),
                                                                          NSNumber::numberWithInt(0700)}}),
                                        nullptr));
  EXPECT_EQ(zvt::as<NSNumber>(fm->attributesOfItemAtPath(priv, nullptr)->objectForKey(NSFilePosixPermissions.get()))
                ->intValue(),
            0700);

  fm->createFileAtPath(ns(p("Documents/image/z.png")), NSData::dataWithString("z"), nullptr);
  fm->createFileAtPath(ns(p("Documents/image/a/y.png")), NSData::dataWithString("y"), nullptr);
  EXPECT_EQ(strings(fm->contentsOfDirectoryAtPath(ns(p("Documents/image")), nullptr)),
            (std::vector<std::string>{"a", "z.png"}));
  EXPECT_EQ(strings(fm->subpathsOfDirectoryAtPath(ns(p("Documents/image")), nullptr)),
            (std::vector<std::string>{"a", "a/b", "a/y.png", "z.png"}));
  EXPECT_FALSE(fm->contentsOfDirectoryAtPath(ns(p("Documents/none")), &error));
  expectFileError(error, NSFileReadNoSuchFileError, p("Documents/none"));
  EXPECT_FALSE(fm->contentsOfDirectoryAtPath(ns(p("Documents/file")), &error));
}

TEST_F(PersistenceFiles, EnumeratorWalksTheTreeDepthFirst) {
  fm->createDirectoryAtPath(ns(p("Library/Caches/c/skip/deep")), true, nullptr, nullptr);
  fm->createDirectoryAtPath(ns(p("Library/Caches/c/a")), true, nullptr, nullptr);
  fm->createFileAtPath(ns(p("Library/Caches/c/a/1.jpg")), NSData::dataWithString("12345"), nullptr);
  fm->createFileAtPath(ns(p("Library/Caches/c/b.png")), NSData::dataWithString("12"), nullptr);
  fm->createFileAtPath(ns(p("Library/Caches/c/skip/x")), nullptr, nullptr);
  // A link back up the tree is reported, not followed.
  ASSERT_EQ(::symlink(p("Library/Caches/c").c_str(), p("Library/Caches/c/a/loop").c_str()), 0);

  auto e = fm->enumeratorAtPath(ns(p("Library/Caches/c")));
  ASSERT_TRUE(e);
  std::vector<std::string> seen;
  unsigned long long total = 0;
  while (auto item = zvt::as<NSString>(e->nextObject())) {
    seen.push_back(item->utf8() + "@" + std::to_string(e->level()));
    if (item->isEqualToString("skip")) e->skipDescendants();
    auto attrs = e->fileAttributes();
    if (zvt::objectsEqual(attrs->objectForKey(NSFileType.get()), NSFileTypeRegular.get()))
      total += zvt::as<NSNumber>(attrs->objectForKey(NSFileSize.get()))->unsignedLongLongValue();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a@1", "a/1.jpg@2", "a/loop@2", "b.png@1", "skip@1"}));
  EXPECT_EQ(total, 7u);
  EXPECT_FALSE(e->nextObject());
  EXPECT_FALSE(fm->enumeratorAtPath(ns(p("Library/Caches/none"))));
  EXPECT_FALSE(fm->enumeratorAtPath(ns(p("Library/Caches/c/b.png"))));
}

TEST_F(PersistenceFiles, RemoveMoveAndCopy) {
  std::shared_ptr<NSError> error;
  fm->createDirectoryAtPath(ns(p("Documents/tree/sub")), true, nullptr, nullptr);
  fm->createFileAtPath(ns(p("Documents/tree/sub/f")), NSData::dataWithString("f"), nullptr);
  fm->createFileAtPath(ns(p("Documents/tree/g")), NSData::dataWithString("g"), nullptr);

  ASSERT_TRUE(fm->copyItemAtPath(ns(p("Documents/tree")), ns(p("Library/tree-copy")), &error))
      << NSStringFromObject(error);
  EXPECT_EQ(fm->contentsAtPath(ns(p("Library/tree-copy/sub/f")))->view(), "f");
  EXPECT_TRUE(fm->contentsEqualAtPath(ns(p("Documents/tree/g")), ns(p("Library/tree-copy/g"))));
  EXPECT_FALSE(fm->copyItemAtPath(ns(p("Documents/tree")), ns(p("Library/tree-copy")), &error));
  expectFileError(error, NSFileWriteFileExistsError, p("Library/tree-copy"));
  EXPECT_FALSE(fm->copyItemAtPath(ns(p("Documents/none")), ns(p("Library/x")), &error));
  expectFileError(error, NSFileReadNoSuchFileError, p("Documents/none"));

  // Moving never replaces an existing item.
  fm->createFileAtPath(ns(p("tmp/dst")), NSData::dataWithString("keep"), nullptr);
  EXPECT_FALSE(fm->moveItemAtPath(ns(p("Documents/tree/g")), ns(p("tmp/dst")), &error));
  expectFileError(error, NSFileWriteFileExistsError, p("tmp/dst"));
  EXPECT_EQ(fm->contentsAtPath(ns(p("tmp/dst")))->view(), "keep");
  ASSERT_TRUE(fm->moveItemAtPath(ns(p("Documents/tree")), ns(p("tmp/moved")), &error));
  EXPECT_FALSE(fm->fileExistsAtPath(ns(p("Documents/tree"))));
  EXPECT_EQ(fm->contentsAtPath(ns(p("tmp/moved/sub/f")))->view(), "f");
  EXPECT_FALSE(fm->moveItemAtPath(ns(p("Documents/tree")), ns(p("tmp/again")), &error));
  expectFileError(error, NSFileNoSuchFileError, p("Documents/tree"));

  // Removing a tree removes everything below; a missing item is an error.
  ASSERT_TRUE(fm->removeItemAtPath(ns(p("tmp/moved")), &error));
  EXPECT_FALSE(fm->fileExistsAtPath(ns(p("tmp/moved"))));
  EXPECT_FALSE(fm->removeItemAtPath(ns(p("tmp/moved")), &error));
  expectFileError(error, NSFileNoSuchFileError, p("tmp/moved"));
  // A symbolic link is removed itself; its target stays.
  ASSERT_EQ(::symlink(p("Library/tree-copy").c_str(), p("tmp/link").c_str()), 0);
  ASSERT_TRUE(fm->removeItemAtPath(ns(p("tmp/link")), nullptr));
  EXPECT_TRUE(fm->fileExistsAtPath(ns(p("Library/tree-copy/sub/f"))));
  EXPECT_FALSE(fm->removeItemAtPath(nullptr, &error));
}

TEST_F(PersistenceFiles, AtomicWritesLeaveNoTemporaryFiles) {
  std::string path = p("Documents/atomic.bin");
  ASSERT_EQ(zvt::writeFileAtomically(path, "abc", 3, 0600), 0);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(strings(fm->contentsOfDirectoryAtPath(ns(p("Documents")), nullptr)),
            std::vector<std::string>{"atomic.bin"});
  EXPECT_EQ(zvt::writeFileAtomically(p("Documents/no/such/dir"), "x", 1, 0600), ENOENT);
  EXPECT_EQ(strings(fm->contentsOfDirectoryAtPath(ns(p("Documents")), nullptr)),
            std::vector<std::string>{"atomic.bin"});
}

TEST_F(PersistenceFiles, MainBundleResourcesAndInfoDictionary) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("Info.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>CFBundleIdentifier</key><string>com.zavelto.app</string>"
                   "<key>CFBundleShortVersionString</key><string>3.2.1</string>"
                   "<key>CFBundleVersion</key><string>321</string>"
                   "<key>CFBundleDisplayName</key><string>返利</string>"
                   "<key>CFBundleExecutable</key><string>Zavelto</string>"
                   "</dict></plist>");
  bundle.writeFile("PushConfig.plist", "<plist><dict><key>APP_KEY</key><string>k</string></dict></plist>");
  bundle.writeFile("sound.wav", "RIFF");
  bundle.writeFile("PRRefresh.bundle/arrow.png", "png");
  bundle.writeFile("images/b.png", "b");
  bundle.writeFile("images/a.png", "a");
  bundle.writeFile("images/c.jpg", "c");

  auto main = NSBundle::mainBundle();
  EXPECT_EQ(main->bundlePath()->utf8(), bundle.path());
  EXPECT_EQ(main->bundleIdentifier()->utf8(), "com.zavelto.app");
  EXPECT_TRUE(zvt::objectsEqual(main->objectForInfoDictionaryKey("CFBundleShortVersionString"_ns), "3.2.1"_ns));
  EXPECT_TRUE(zvt::objectsEqual(main->infoDictionary()->objectForKey("CFBundleDisplayName"_ns), "返利"_ns));
  EXPECT_TRUE(zvt::objectsEqual(main->objectForInfoDictionaryKey(kCFBundleExecutableKey), "Zavelto"_ns));
  EXPECT_FALSE(main->objectForInfoDictionaryKey("Missing"_ns));

  EXPECT_EQ(main->pathForResource("PushConfig"_ns, "plist"_ns)->utf8(), bundle.path() + "/PushConfig.plist");
  EXPECT_EQ(main->pathForResource("sound.wav"_ns, nullptr)->utf8(), bundle.path() + "/sound.wav");
  EXPECT_FALSE(main->pathForResource("sound"_ns, "mp3"_ns));
  EXPECT_FALSE(main->pathForResource(nullptr, nullptr));
  auto inner = NSBundle::bundleWithPath(main->pathForResource("PRRefresh"_ns, "bundle"_ns));
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->pathForResource("arrow"_ns, "png"_ns)->utf8(), bundle.path() + "/PRRefresh.bundle/arrow.png");
  EXPECT_FALSE(NSBundle::bundleWithPath(ns(bundle.path() + "/sound.wav")));
  EXPECT_EQ(strings(main->pathsForResourcesOfType("png"_ns, "images"_ns)),
            (std::vector<std::string>{bundle.path() + "/images/a.png", bundle.path() + "/images/b.png"}));
  EXPECT_EQ(main->pathForResource("c"_ns, "jpg"_ns, "images"_ns)->utf8(), bundle.path() + "/images/c.jpg");
  EXPECT_TRUE(main->localizedStringForKey("key"_ns, ""_ns, "NWNetworking"_ns)->isEqualToString("key"));
  EXPECT_TRUE(main->localizedStringForKey("key"_ns, "value"_ns, nullptr)->isEqualToString("value"));
}

TEST_F(PersistenceFiles, BundleWithoutInfoPlistHasAnEmptyDictionary) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("Info.plist", "garbage");
  auto main = NSBundle::mainBundle();
  ASSERT_TRUE(main->infoDictionary());
  EXPECT_EQ(main->infoDictionary()->count(), 0u);
  EXPECT_FALSE(main->bundleIdentifier());
}

}  // namespace
