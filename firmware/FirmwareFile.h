#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** The firmware file that ships next to the executable, and the magic it is enciphered with.

    The build reads the file name from this header to write the shipped file under it.
*/
namespace FirmwareFile
{
    /** The version of the firmware in the file, a.b.c.d. */
    constexpr juce::uint8 version[4] = { 1, 0, 3, 2 };

    constexpr const char* name = "Tarnovelle_Firmware_Release_V1.0.3.2.tvk";
    constexpr const char* magic = "HarborLanternWillowQuest";

    /** True when the name carries the version as "V" a.b.c.d ".tvk", so that the two cannot
        drift apart.
    */
    constexpr bool nameCarriesVersion() noexcept
    {
        const char* c = name;

        while (*c != 0 && *c != 'V')
            ++c;

        for (int part = 0; part < 4; ++part)
        {
            ++c; // past the "V" or the dot
            int number = 0;

            for (; *c >= '0' && *c <= '9'; ++c)
                number = number * 10 + (*c - '0');

            if (number != version[part] || *c != '.')
                return false;
        }

        return c[1] == 't' && c[2] == 'v' && c[3] == 'k' && c[4] == 0;
    }

    static_assert (nameCarriesVersion(), "the file name must carry the shipped version");
} // namespace FirmwareFile

/** The executable's full path followed by "/../" and the file name: the file in the folder
    that holds the executable, however the program was started (through PATH, through a link,
    from any working folder).
*/
juce::File getShippedFirmwareFile();

} // namespace tarnovelle
