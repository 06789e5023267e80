#include "platform/foundation/NSFileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"

namespace {

constexpr NSInteger kFileWriteVolumeReadOnlyError = 642;

std::string pathOf(const std::shared_ptr<NSString>& path) { return path ? path->utf8() : std::string(); }

bool lstatPath(const std::string& path, struct stat& st) { return !path.empty() && ::lstat(path.c_str(), &st) == 0; }

// The names in a folder but "." and "..", sorted.
int listDirectory(const std::string& path, std::vector<std::string>& names) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return errno;
  while (dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return 0;
}

int removeTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 ? 0 : errno;
  std::vector<std::string> names;
  if (int err = listDirectory(path, names)) return err;
  for (auto& name : names)
    if (int err = removeTree(path + "/" + name)) return err;
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int copyFile(const std::string& from, const std::string& to, mode_t mode) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
  if (out < 0) {
    int err = errno;
    ::close(in);
    return err;
  }
  char buf[65536];
  int err = 0;
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        err = errno;
        break;
      }
      done += w;
    }
    if (err) break;
  }
  ::close(in);
  if (::close(out) != 0 && !err) err = errno;
  if (err) ::unlink(to.c_str());
  return err;
}

int copyTree(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) {
    std::vector<char> target(PATH_MAX + 1);
    ssize_t n = ::readlink(from.c_str(), target.data(), PATH_MAX);
    if (n < 0) return errno;
    return ::symlink(std::string(target.data(), size_t(n)).c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  if (!S_ISDIR(st.st_mode)) return copyFile(from, to, st.st_mode);
  if (::mkdir(to.c_str(), st.st_mode & 07777) != 0) return errno;
  std::vector<std::string> names;
  if (int err = listDirectory(from, names)) return err;
  for (auto& name : names)
    if (int err = copyTree(from + "/" + name, to + "/" + name)) return err;
  return 0;
}

std::shared_ptr<NSArray> stringsArray(const std::vector<std::string>& items) {
  std::vector<id> objects;
  objects.reserve(items.size());
  for (auto& item : items)
    // Names that are not UTF-8 cannot be represented as text; they are left out.
    if (auto text = NSString::stringWithUTF8String(std::string_view(item))) objects.push_back(text);
  return NSArray::arrayWithObjects(std::move(objects));
}

double timespecSeconds(const struct timespec& ts) { return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9; }

}  // namespace

namespace zvt {

std::shared_ptr<NSError> fileError(int errnum, const std::string& path, bool reading) {
  NSInteger code;
  switch (errnum) {
    case ENOENT:
    case ENOTDIR: code = reading ? NSFileReadNoSuchFileError : NSFileNoSuchFileError; break;
    case EEXIST:
    case ENOTEMPTY: code = NSFileWriteFileExistsError; break;
    case EACCES:
    case EPERM: code = reading ? NSFileReadNoPermissionError : NSFileWriteNoPermissionError; break;
    case ENOSPC:
    case EDQUOT: code = NSFileWriteOutOfSpaceError; break;
    case EROFS: code = kFileWriteVolumeReadOnlyError; break;
    case ENAMETOOLONG:
    case EINVAL: code = reading ? NSFileReadInvalidFileNameError : NSFileWriteInvalidFileNameError; break;
    default: code = reading ? NSFileReadUnknownError : NSFileWriteUnknownError; break;
  }
  auto underlying = NSError::errorWithDomain(NSPOSIXErrorDomain, errnum,
                                             NSDictionary::make({{NSLocalizedDescriptionKey.get(),
                                                                  NSString::fromValidUTF8(std::strerror(errnum))}}));
  std::vector<std::pair<id, id>> info;
  if (auto text = NSString::stringWithUTF8String(std::string_view(path))) info.emplace_back(NSFilePathErrorKey.get(), text);
  info.emplace_back(NSUnderlyingErrorKey.get(), underlying);
  return NSError::errorWithDomain(NSCocoaErrorDomain, code, NSDictionary::dictionaryWithPairs(std::move(info)));
}

int writeFileAtomically(const std::string& path, const void* bytes, size_t length, unsigned mode) {
    std::string dir = ".";
    auto slash = path.rfind('/');
    if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(name.data());
        return err;
    };
    if (::fchmod(fd, mode) != 0) return fail(errno);
    const char* p = static_cast<const char*>(bytes);
    size_t left = length;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        p += n;
        left -= size_t(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(name.data());
        return err;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(name.data());
        return err;
    }
    // The rename itself must reach the disk too, or a crash could bring back the old file.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

}  // namespace zvt

namespace {

// Moving and copying both want a source that is there and a destination that is not: neither
// ever overwrites (rename() alone would silently replace an existing file). `reading` says
// whether a missing source reports as a read error (copy) or a write error (move).
bool canTransfer(const std::string& from, const std::string& to, bool reading, std::shared_ptr<NSError>* error) {
  struct stat st;
  if (!lstatPath(from, st)) {
    zvt::setError(error, zvt::fileError(from.empty() ? ENOENT : errno, from, reading));
    return false;
  }
  if (lstatPath(to, st)) {
    zvt::setError(error, zvt::fileError(EEXIST, to, false));
    return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<NSFileManager> NSFileManager::defaultManager() {
  static const auto manager = std::make_shared<NSFileManager>();
  return manager;
}

bool NSFileManager::fileExistsAtPath(const std::shared_ptr<NSString>& path) const {
  return fileExistsAtPath(path, nullptr);
}

bool NSFileManager::fileExistsAtPath(const std::shared_ptr<NSString>& path, bool* isDirectory) const {
  std::string p = pathOf(path);
  struct stat st;
  // Links are followed, as the system does here.
  if (p.empty() || ::stat(p.c_str(), &st) != 0) return false;
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return true;
}

bool NSFileManager::isReadableFileAtPath(const std::shared_ptr<NSString>& path) const {
  std::string p = pathOf(path);
  return !p.empty() && ::access(p.c_str(), R_OK) == 0;
}

bool NSFileManager::isWritableFileAtPath(const std::shared_ptr<NSString>& path) const {
  std::string p = pathOf(path);
  return !p.empty() && ::access(p.c_str(), W_OK) == 0;
}

bool NSFileManager::isDeletableFileAtPath(const std::shared_ptr<NSString>& path) const {
  std::string p = pathOf(path);
  struct stat st;
  if (!lstatPath(p, st)) return false;
  auto slash = p.rfind('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
  return ::access(parent.c_str(), W_OK | X_OK) == 0;
}

bool NSFileManager::createDirectoryAtPath(const std::shared_ptr<NSString>& path, bool withIntermediateDirectories,
                                          const std::shared_ptr<NSDictionary>& attributes,
                                          std::shared_ptr<NSError>* error) const {
  std::string p = pathOf(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) {
    zvt::setError(error, zvt::fileError(ENOENT, p, false));
    return false;
  }
  mode_t mode = 0755;
  if (attributes)
    if (auto perms = zvt::as<NSNumber>(attributes->objectForKey(NSFilePosixPermissions.get())))
      mode = mode_t(perms->unsignedLongValue() & 07777);
  auto makeOne = [&](const std::string& dir, bool last) -> int {
    if (::mkdir(dir.c_str(), mode) == 0) {
      // mkdir applies the umask; the caller's permissions are meant as given.
      if (attributes && last) ::chmod(dir.c_str(), mode);
      return 0;
    }
    int err = errno;
    if (err == EEXIST && (withIntermediateDirectories || !last)) {
      struct stat st;
      if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
      return EEXIST;
    }
    return err;
  };
  if (withIntermediateDirectories) {
    for (size_t at = 1; at < p.size(); ++at) {
      if (p[at] != '/') continue;
      if (int err = makeOne(p.substr(0, at), false)) {
        zvt::setError(error, zvt::fileError(err, p, false));
        return false;
      }
    }
  }
  if (int err = makeOne(p, true)) {
    zvt::setError(error, zvt::fileError(err, p, false));
    return false;
  }
  return true;
}

bool NSFileManager::createFileAtPath(const std::shared_ptr<NSString>& path, const std::shared_ptr<NSData>& contents,
                                     const std::shared_ptr<NSDictionary>& attributes) const {
  std::string p = pathOf(path);
  if (p.empty()) return false;
  unsigned mode = 0644;
  if (attributes)
    if (auto perms = zvt::as<NSNumber>(attributes->objectForKey(NSFilePosixPermissions.get())))
      mode = unsigned(perms->unsignedLongValue() & 07777);
  const void* bytes = contents ? static_cast<const void*>(contents->bytes()) : "";
  size_t length = contents ? contents->length() : 0;
  return zvt::writeFileAtomically(p, bytes, length, mode) == 0;
}

std::shared_ptr<NSData> NSFileManager::contentsAtPath(const std::shared_ptr<NSString>& path) const {
  return path ? NSData::dataWithContentsOfFile(path) : nullptr;
}

bool NSFileManager::contentsEqualAtPath(const std::shared_ptr<NSString>& path1,
                                        const std::shared_ptr<NSString>& path2) const {
  auto a = contentsAtPath(path1), b = contentsAtPath(path2);
  return a && b && a->isEqualToData(b);
}

bool NSFileManager::removeItemAtPath(const std::shared_ptr<NSString>& path, std::shared_ptr<NSError>* error) const {
  std::string p = pathOf(path);
  if (p.empty()) {
    zvt::setError(error, zvt::fileError(ENOENT, p, false));
    return false;
  }
  if (int err = removeTree(p)) {
    zvt::setError(error, zvt::fileError(err, p, false));
    return false;
  }
  return true;
}

bool NSFileManager::moveItemAtPath(const std::shared_ptr<NSString>& srcPath, const std::shared_ptr<NSString>& dstPath,
                                   std::shared_ptr<NSError>* error) const {
  std::string from = pathOf(srcPath), to = pathOf(dstPath);
  if (!canTransfer(from, to, false, error)) return false;
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  int err = errno;
  if (err == EXDEV) {
    if ((err = copyTree(from, to)) == 0) {
      if ((err = removeTree(from)) == 0) return true;
    } else {
      removeTree(to);
    }
  }
  zvt::setError(error, zvt::fileError(err, err == ENOENT ? to : from, false));
  return false;
}

bool NSFileManager::copyItemAtPath(const std::shared_ptr<NSString>& srcPath, const std::shared_ptr<NSString>& dstPath,
                                   std::shared_ptr<NSError>* error) const {
  std::string from = pathOf(srcPath), to = pathOf(dstPath);
  if (!canTransfer(from, to, true, error)) return false;
  if (int err = copyTree(from, to)) {
    removeTree(to);
    zvt::setError(error, zvt::fileError(err, to, false));
    return false;
  }
  return true;
}

std::shared_ptr<NSDictionary> NSFileManager::attributesOfItemAtPath(const std::shared_ptr<NSString>& path,
                                                                    std::shared_ptr<NSError>* error) const {
  std::string p = pathOf(path);
  struct stat st;
  if (!lstatPath(p, st)) {
    zvt::setError(error, zvt::fileError(p.empty() ? ENOENT : errno, p, true));
    return nullptr;
  }
  std::shared_ptr<NSString> type;
  if (S_ISDIR(st.st_mode)) type = NSFileTypeDirectory;
  else if (S_ISREG(st.st_mode)) type = NSFileTypeRegular;
  else if (S_ISLNK(st.st_mode)) type = NSFileTypeSymbolicLink;
  else if (S_ISSOCK(st.st_mode)) type = NSFileTypeSocket;
  else if (S_ISCHR(st.st_mode)) type = NSFileTypeCharacterSpecial;
  else if (S_ISBLK(st.st_mode)) type = NSFileTypeBlockSpecial;
  else type = NSFileTypeUnknown;
  return NSDictionary::make({
      {NSFileType.get(), type},
      {NSFileSize.get(), NSNumber::numberWithUnsignedLongLong(static_cast<unsigned long long>(st.st_size))},
      {NSFileModificationDate.get(), NSDate::dateWithTimeIntervalSince1970(timespecSeconds(st.st_mtim))},
      {NSFileCreationDate.get(), NSDate::dateWithTimeIntervalSince1970(timespecSeconds(st.st_ctim))},
      {NSFilePosixPermissions.get(), NSNumber::numberWithUnsignedLong(st.st_mode & 07777)},
      {NSFileReferenceCount.get(), NSNumber::numberWithUnsignedLong(st.st_nlink)},
      {NSFileSystemFileNumber.get(), NSNumber::numberWithUnsignedLongLong(st.st_ino)},
  });
}

bool NSFileManager::setAttributes(const std::shared_ptr<NSDictionary>& attributes,
                                  const std::shared_ptr<NSString>& ofItemAtPath,
                                  std::shared_ptr<NSError>* error) const {
  std::string p = pathOf(ofItemAtPath);
  if (!attributes) return true;
  if (auto perms = zvt::as<NSNumber>(attributes->objectForKey(NSFilePosixPermissions.get())))
    if (::chmod(p.c_str(), mode_t(perms->unsignedLongValue() & 07777)) != 0) {
      zvt::setError(error, zvt::fileError(errno, p, false));
      return false;
    }
  if (auto date = zvt::as<NSDate>(attributes->objectForKey(NSFileModificationDate.get()))) {
    double t = date->timeIntervalSince1970();
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    double whole = std::floor(t);
    times[1].tv_sec = time_t(whole);
    times[1].tv_nsec = long((t - whole) * 1e9);
    if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) {
      zvt::setError(error, zvt::fileError(errno, p, false));
      return false;
    }
  }
  return true;
}

std::shared_ptr<NSArray> NSFileManager::contentsOfDirectoryAtPath(const std::shared_ptr<NSString>& path,
                                                                  std::shared_ptr<NSError>* error) const {
  std::string p = pathOf(path);
  std::vector<std::string> names;
  if (int err = p.empty() ? ENOENT : listDirectory(p, names)) {
    zvt::setError(error, zvt::fileError(err, p, true));
    return nullptr;
  }
  return stringsArray(names);
}

std::shared_ptr<NSArray> NSFileManager::subpathsOfDirectoryAtPath(const std::shared_ptr<NSString>& path,
                                                                  std::shared_ptr<NSError>* error) const {
  std::string root = pathOf(path);
  std::vector<std::string> top;
  if (int err = root.empty() ? ENOENT : listDirectory(root, top)) {
    zvt::setError(error, zvt::fileError(err, root, true));
    return nullptr;
  }
  std::vector<std::string> out;
  std::function<void(const std::string&, const std::vector<std::string>&)> walk =
      [&](const std::string& rel, const std::vector<std::string>& names) {
        for (auto& name : names) {
          std::string sub = rel.empty() ? name : rel + "/" + name;
          out.push_back(sub);
          struct stat st;
          if (::lstat((root + "/" + sub).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::vector<std::string> inner;
            if (listDirectory(root + "/" + sub, inner) == 0) walk(sub, inner);
          }
        }
      };
  walk("", top);
  return stringsArray(out);
}

std::shared_ptr<NSDirectoryEnumerator> NSFileManager::enumeratorAtPath(const std::shared_ptr<NSString>& path) const {
  std::string root = pathOf(path);
  struct stat st;
  if (root.empty() || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(root.c_str(), R_OK | X_OK) != 0)
    return nullptr;
  return std::make_shared<NSDirectoryEnumerator>(root);
}

NSDirectoryEnumerator::NSDirectoryEnumerator(std::string root) : root_(std::move(root)) {
  Frame top;
  listDirectory(root_, top.names);
  stack_.push_back(std::move(top));
}

id NSDirectoryEnumerator::nextObject() {
  // Descend into the directory returned last, unless told not to.
  if (lastIsDirectory_ && !skip_) {
    Frame frame;
    frame.relative = last_;
    if (listDirectory(root_ + "/" + last_, frame.names) == 0 && !frame.names.empty()) stack_.push_back(std::move(frame));
  }
  lastIsDirectory_ = false;
  skip_ = false;
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.next >= top.names.size()) {
      stack_.pop_back();
      continue;
    }
    const std::string& name = top.names[top.next++];
    std::string relative = top.relative.empty() ? name : top.relative + "/" + name;
    auto text = NSString::stringWithUTF8String(std::string_view(relative));
    if (!text) continue;  // not representable as text
    struct stat st;
    // Links are reported, not followed, so a link to a parent cannot make the walk endless.
    lastIsDirectory_ = ::lstat((root_ + "/" + relative).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    last_ = relative;
    level_ = stack_.size();
    return text;
  }
  last_.clear();
  level_ = 0;
  return nullptr;
}

std::shared_ptr<NSDictionary> NSDirectoryEnumerator::fileAttributes() const {
  if (last_.empty()) return nullptr;
  return NSFileManager::defaultManager()->attributesOfItemAtPath(
      NSString::stringWithUTF8String(std::string_view(root_ + "/" + last_)), nullptr);
}

std::shared_ptr<NSString> NSFileManager::currentDirectoryPath() const {
  std::vector<char> buf(PATH_MAX + 1);
  if (!::getcwd(buf.data(), buf.size())) return nullptr;
  return NSString::stringWithUTF8String(buf.data());
}

std::shared_ptr<NSString> NSFileManager::temporaryDirectory() const { return NSTemporaryDirectory(); }
