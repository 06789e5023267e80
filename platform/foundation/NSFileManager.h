#pragma once
// File-system access by path. Failures come back as NSError in NSCocoaErrorDomain with the
// usual codes (NSFileNoSuchFileError, NSFileWriteFileExistsError...), the path under
// NSFilePathErrorKey and the system's errno as an NSPOSIXErrorDomain error under
// NSUnderlyingErrorKey.

#include <memory>
#include <string>

#include <vector>

#include "platform/foundation/NSEnumerator.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSArray;
class NSData;
class NSDictionary;
class NSError;

// Keys and values of attributesOfItemAtPath.
inline const zvt::StaticString NSFileType{"NSFileType"};
inline const zvt::StaticString NSFileTypeDirectory{"NSFileTypeDirectory"};
inline const zvt::StaticString NSFileTypeRegular{"NSFileTypeRegular"};
inline const zvt::StaticString NSFileTypeSymbolicLink{"NSFileTypeSymbolicLink"};
inline const zvt::StaticString NSFileTypeSocket{"NSFileTypeSocket"};
inline const zvt::StaticString NSFileTypeCharacterSpecial{"NSFileTypeCharacterSpecial"};
inline const zvt::StaticString NSFileTypeBlockSpecial{"NSFileTypeBlockSpecial"};
inline const zvt::StaticString NSFileTypeUnknown{"NSFileTypeUnknown"};
inline const zvt::StaticString NSFileSize{"NSFileSize"};
inline const zvt::StaticString NSFileModificationDate{"NSFileModificationDate"};
inline const zvt::StaticString NSFileCreationDate{"NSFileCreationDate"};
inline const zvt::StaticString NSFilePosixPermissions{"NSFilePosixPermissions"};
inline const zvt::StaticString NSFileReferenceCount{"NSFileReferenceCount"};
inline const zvt::StaticString NSFileSystemFileNumber{"NSFileSystemFileNumber"};

// Walks a directory tree depth first, each directory's entries in sorted order; nextObject
// answers paths relative to the root. Directories are read as the walk reaches them.
class NSDirectoryEnumerator : public NSEnumerator {
 public:
  explicit NSDirectoryEnumerator(std::string root);

  id nextObject() override;
  // Attributes (as attributesOfItemAtPath gives them) of the entry last returned.
  std::shared_ptr<NSDictionary> fileAttributes() const;
  // Do not descend into the directory last returned.
  void skipDescendants() { skip_ = true; }
  // Depth of the entry last returned: 1 for entries directly in the root.
  NSUInteger level() const { return level_; }

 private:
  struct Frame {
    std::string relative;  // of the directory, "" for the root
    std::vector<std::string> names;
    size_t next = 0;
  };
  std::string root_;
  std::vector<Frame> stack_;
  std::string last_;        // relative path of the entry last returned
  bool lastIsDirectory_ = false;
  bool skip_ = false;
  NSUInteger level_ = 0;
};

class NSFileManager : public NSObject {
 public:
  // The process's shared manager. Managers keep no state: any may be used from any thread.
  static std::shared_ptr<NSFileManager> defaultManager();
  static std::shared_ptr<NSFileManager> make() { return std::make_shared<NSFileManager>(); }

  bool fileExistsAtPath(const std::shared_ptr<NSString>& path) const;
  bool fileExistsAtPath(const std::shared_ptr<NSString>& path, bool* isDirectory) const;
  bool isReadableFileAtPath(const std::shared_ptr<NSString>& path) const;
  bool isWritableFileAtPath(const std::shared_ptr<NSString>& path) const;
  bool isDeletableFileAtPath(const std::shared_ptr<NSString>& path) const;

  // With intermediates an existing directory is success; without, the parent must exist and
  // the path must not. NSFilePosixPermissions in the attributes sets the mode (else 0755).
  bool createDirectoryAtPath(const std::shared_ptr<NSString>& path, bool withIntermediateDirectories,
                             const std::shared_ptr<NSDictionary>& attributes, std::shared_ptr<NSError>* error) const;
  // Writes (replacing) a file, atomically; nil contents make an empty file.
  bool createFileAtPath(const std::shared_ptr<NSString>& path, const std::shared_ptr<NSData>& contents,
                        const std::shared_ptr<NSDictionary>& attributes) const;
  // nil when the file cannot be read.
  std::shared_ptr<NSData> contentsAtPath(const std::shared_ptr<NSString>& path) const;
  bool contentsEqualAtPath(const std::shared_ptr<NSString>& path1, const std::shared_ptr<NSString>& path2) const;

  // Removes a file, or a directory with everything in it; a symbolic link itself, not its target.
  bool removeItemAtPath(const std::shared_ptr<NSString>& path, std::shared_ptr<NSError>* error) const;
  // The destination must not exist (NSFileWriteFileExistsError). Moves across file systems
  // are done as copy and remove.
  bool moveItemAtPath(const std::shared_ptr<NSString>& srcPath, const std::shared_ptr<NSString>& dstPath,
                      std::shared_ptr<NSError>* error) const;
  // Copies a file or a whole directory tree; the destination must not exist.
  bool copyItemAtPath(const std::shared_ptr<NSString>& srcPath, const std::shared_ptr<NSString>& dstPath,
                      std::shared_ptr<NSError>* error) const;

  // NSFileType, NSFileSize (unsigned long long), NSFileModificationDate, NSFileCreationDate
  // (the status-change time: Linux file systems keep no birth time everywhere),
  // NSFilePosixPermissions, NSFileReferenceCount, NSFileSystemFileNumber. Symbolic links are
  // not followed.
  std::shared_ptr<NSDictionary> attributesOfItemAtPath(const std::shared_ptr<NSString>& path,
                                                       std::shared_ptr<NSError>* error) const;
  // Sets NSFilePosixPermissions and NSFileModificationDate.
  bool setAttributes(const std::shared_ptr<NSDictionary>& attributes, const std::shared_ptr<NSString>& ofItemAtPath,
                     std::shared_ptr<NSError>* error) const;
  // The names in the directory, without "." and "..", sorted.
  std::shared_ptr<NSArray> contentsOfDirectoryAtPath(const std::shared_ptr<NSString>& path,
                                                     std::shared_ptr<NSError>* error) const;
  // Every path below the directory, relative to it, depth first and sorted.
  std::shared_ptr<NSArray> subpathsOfDirectoryAtPath(const std::shared_ptr<NSString>& path,
                                                     std::shared_ptr<NSError>* error) const;

  // nil when the path is not a readable directory.
  std::shared_ptr<NSDirectoryEnumerator> enumeratorAtPath(const std::shared_ptr<NSString>& path) const;

  std::shared_ptr<NSString> currentDirectoryPath() const;
  std::shared_ptr<NSString> temporaryDirectory() const;
};

namespace zvt {
// The cocoa error for a failed system call on a path: errno mapped to the file error codes
// (ENOENT: 4 or NSFileReadNoSuchFileError when reading, EEXIST: 516, EACCES/EPERM:
// 257 or 513, ENOSPC: 640, EROFS: 642...).
std::shared_ptr<NSError> fileError(int errnum, const std::string& path, bool reading);
// Writes the bytes to a temporary file beside the path, flushes them to the disk and renames
// it over the path, so a reader or a crash sees the old file or the new one, never a mix.
// Returns 0 or the errno of the step that failed (the temporary file is then removed).
int writeFileAtomically(const std::string& path, const void* bytes, size_t length, unsigned mode);
}  // namespace zvt
