// File names as the file system holds them: any bytes but '/' and NUL, UTF-8 or
// not. Qt decodes names as UTF-8 and loses the bytes that are not; these keep each
// such byte as a lone surrogate (U+DC80..U+DCFF) in the QString and give it back
// unchanged, so that a file named in any encoding can be opened and saved.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace platform {

QString FileNameFromNative(std::string_view bytes);
std::string NativePath(const QString& name);

}  // namespace platform
