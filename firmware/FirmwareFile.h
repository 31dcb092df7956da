#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** The firmware file that ships next to the executable, and the magic it is enciphered with. */
namespace FirmwareFile
{
    constexpr const char* name = "Tarnovelle_Firmware_Release_V1.0.3.2.tvk";
    constexpr const char* magic = "HarborLanternWillowQuest";
} // namespace FirmwareFile

/** The executable's full path followed by "/../" and the file name: the file in the folder
    that holds the executable, however the program was started (through PATH, through a link,
    from any working folder).
*/
juce::File getShippedFirmwareFile();

} // namespace tarnovelle
