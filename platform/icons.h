// Icons taken from files, as ExtractIconExA finds them: the icon of an .ico file, and the
// icon groups of a program or library (PE) file. An icon comes out as the bytes of an .ico
// file holding all its images, which any image library can draw.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win
{

// How many icons the file holds: 1 for an .ico file, the number of icon groups for a PE file,
// 0 for anything else or a file that cannot be read. `path` is a Windows path or a host path.
int ExtractIconCount(const std::string &path);

// The icon at `index` (0-based, in the file's order: a PE file's named icon groups first, then
// those with an ID, ascending) as .ico file bytes; empty when there is none. As in
// ExtractIconExA, a negative index -n picks the PE icon group whose resource ID is n. An .ico
// file has only index 0, which gives the whole file. PNG images are kept as they are (Windows
// 9x cannot draw them; NT 6 and later can).
std::vector<std::uint8_t> ExtractIconAsIco(const std::string &path, int index);

} // namespace win
