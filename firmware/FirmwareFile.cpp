#include "firmware/FirmwareFile.h"

namespace tarnovelle
{

juce::File getShippedFirmwareFile()
{
    const auto application = juce::File::getSpecialLocation (juce::File::currentApplicationFile);

    // The path names the executable itself, so "../" has to be resolved in the path, not by
    // the file system: getChildFile steps up from the executable to its folder.
    return application.getChildFile (juce::String ("../") + FirmwareFile::name);
}

} // namespace tarnovelle
