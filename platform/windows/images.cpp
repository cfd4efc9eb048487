// On Windows the machine is the running system: there are no disk images to choose from.
#include "images.h"

namespace win
{

bool HoldsWindowsImage(const std::string &)
{
    return false;
}

std::vector<ImageMachine> FindImageMachines()
{
    return {};
}

ImageMachine DescribeImageMachine(const std::string &path, const std::string &name, const std::string &emulator)
{
    return {path, name, emulator, {}};
}

} // namespace win
