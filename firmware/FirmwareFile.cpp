#include "firmware/FirmwareFile.h"

namespace tarnovelle
{

juce::File getShippedFirmwareFile()
{
    // The executable's real location (/proc/self/exe on Linux), not the one built from the
    // working folder and the name the program was started by, which is wrong for a program
    // found through PATH.
    const auto application = juce::File::getSpecialLocation (juce::File::hostApplicationPath);

    // The path names the executable itself, so "../" has to be resolved in the path, not by
    // the file system: getChildFile steps up from the executable to its folder.
    return application.getChildFile (juce::String ("../") + FirmwareFile::name);
}

} // namespace tarnovelle
