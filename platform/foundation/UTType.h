// Uniform type identifiers, as far as the HTTP layer needs them: from a file-name extension to
// a type and from a type to its MIME type. The table is the system's /etc/mime.types (Debian
// media-types) when it can be read, else a built-in list of common types.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/NSString.h"

inline const zvt::StaticString kUTTagClassFilenameExtension{"public.filename-extension"};
inline const zvt::StaticString kUTTagClassMIMEType{"public.mime-type"};

// The type of a tag ("png" in the extension class); a dynamic identifier ("dyn.") for an
// unknown tag; nil for an unknown class. The conforming-to type is ignored.
std::shared_ptr<NSString> UTTypeCreatePreferredIdentifierForTag(const std::shared_ptr<NSString>& tagClass,
                                                                const std::shared_ptr<NSString>& tag,
                                                                const std::shared_ptr<NSString>& conformingToUTI);
// The preferred tag of a type in a class ("image/png" in the MIME class); nil when it has none.
std::shared_ptr<NSString> UTTypeCopyPreferredTagWithClass(const std::shared_ptr<NSString>& uti,
                                                          const std::shared_ptr<NSString>& tagClass);

namespace zvt {
// Reads the table from another file (tests); an empty path returns to the default.
void setMIMETypesFile(const std::string& path);
}  // namespace zvt
