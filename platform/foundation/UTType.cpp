#include "platform/foundation/UTType.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

constexpr const char* kDefaultFile = "/etc/mime.types";
constexpr const char* kMIMEPrefix = "zvt.mime:";
constexpr const char* kDynamicPrefix = "dyn.ext:";

struct Table {
  std::string path = kDefaultFile;
  bool loaded = false;
  std::map<std::string, std::string> byExtension;  // lower-case extension -> MIME type
};

std::mutex gMutex;
Table& table() {
  static Table* t = new Table;
  return *t;
}

void loadBuiltIn(Table& t) {
  static const std::pair<const char*, const char*> kBuiltIn[] = {
      {"txt", "text/plain"},         {"html", "text/html"},         {"htm", "text/html"},
      {"css", "text/css"},           {"csv", "text/csv"},           {"xml", "application/xml"},
      {"json", "application/json"},  {"js", "application/javascript"}, {"pdf", "application/pdf"},
      {"zip", "application/zip"},    {"gz", "application/gzip"},    {"plist", "application/x-plist"},
      {"png", "image/png"},          {"jpg", "image/jpeg"},         {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},          {"bmp", "image/bmp"},          {"tif", "image/tiff"},
      {"tiff", "image/tiff"},        {"ico", "image/vnd.microsoft.icon"}, {"webp", "image/webp"},
      {"svg", "image/svg+xml"},      {"mp3", "audio/mpeg"},         {"wav", "audio/x-wav"},
      {"mp4", "video/mp4"},          {"mov", "video/quicktime"},
  };
  for (const auto& [ext, type] : kBuiltIn) t.byExtension.emplace(ext, type);
}

void loadLocked(Table& t) {
  if (t.loaded) return;
  t.loaded = true;
  t.byExtension.clear();
  std::ifstream in(t.path);
  if (in) {
    std::string line;
    while (std::getline(in, line)) {
      auto hash = line.find('#');
      if (hash != std::string::npos) line.erase(hash);
      std::istringstream words(line);
      std::string type, ext;
      if (!(words >> type)) continue;
      while (words >> ext) {
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        t.byExtension.emplace(ext, type);  // the first type naming an extension wins
      }
    }
  }
  if (t.byExtension.empty()) loadBuiltIn(t);
}

}  // namespace

std::shared_ptr<NSString> UTTypeCreatePreferredIdentifierForTag(const std::shared_ptr<NSString>& tagClass,
                                                                const std::shared_ptr<NSString>& tag,
                                                                const std::shared_ptr<NSString>&) {
  if (!tagClass || !tag) return nullptr;
  if (tagClass->isEqualToString(kUTTagClassMIMEType.get())) {
    return NSString::stringWithUTF8String(std::string(kMIMEPrefix) + tag->utf8());
  }
  if (!tagClass->isEqualToString(kUTTagClassFilenameExtension.get())) return nullptr;
  std::string ext = tag->utf8();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::lock_guard lock(gMutex);
  Table& t = table();
  loadLocked(t);
  auto it = t.byExtension.find(ext);
  if (it == t.byExtension.end()) return NSString::stringWithUTF8String(std::string(kDynamicPrefix) + ext);
  return NSString::stringWithUTF8String(std::string(kMIMEPrefix) + it->second);
}

std::shared_ptr<NSString> UTTypeCopyPreferredTagWithClass(const std::shared_ptr<NSString>& uti,
                                                          const std::shared_ptr<NSString>& tagClass) {
  if (!uti || !tagClass || !tagClass->isEqualToString(kUTTagClassMIMEType.get())) return nullptr;
  if (!uti->hasPrefix(kMIMEPrefix)) return nullptr;
  return NSString::stringWithUTF8String(uti->utf8().substr(std::char_traits<char>::length(kMIMEPrefix)));
}

namespace zvt {
void setMIMETypesFile(const std::string& path) {
  std::lock_guard lock(gMutex);
  Table& t = table();
  t.path = path.empty() ? kDefaultFile : path;
  t.loaded = false;
}
}  // namespace zvt
