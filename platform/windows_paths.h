// The Windows rule for the dots in a path, kept apart from any machine so that every place that
// maps a Windows path to a host file uses it before it looks at a single folder.
#pragma once

#include <string>
#include <string_view>

namespace win
{

// A drive path ("C:\\a\\.\\b\\..\\c", with backslashes or slashes) in the form Windows itself
// opens: "." parts dropped, each ".." taking away the part before it but never the drive's root
// (Windows and Wine open "C:\\..\\..\\etc" as "C:\\etc"), repeated separators as one, parts joined
// by backslashes; the root alone is "C:\\". Empty for anything that is not such a path.
std::string NormalWindowsPath(std::string_view path);

} // namespace win
