// Writes the firmware file that ships next to the programs: the image for the emulated
// instrument, enciphered in its container.
//
//     make_firmware <output file>

#include "emulator/FirmwareImage.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/FirmwareFile.h"

#include <iostream>

int main (int argc, char** argv)
{
    using namespace tarnovelle;

    if (argc != 2)
    {
        std::cerr << "usage: make_firmware <output file>\n";
        return 2;
    }

    const auto image = makeShippedFirmwareImage();
    const auto container = CryptedDataFile::encipher (FirmwareFile::magic, image.getData(), image.getSize());

    // Relative paths are taken from the folder the tool was started in.
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[1]));

    if (! output.getParentDirectory().createDirectory())
    {
        std::cerr << "make_firmware: cannot create " << output.getParentDirectory().getFullPathName() << "\n";
        return 1;
    }

    // Written beside the target and moved over it, so a build never leaves half a file.
    juce::TemporaryFile temporary (output);

    if (! temporary.getFile().replaceWithData (container.getData(), container.getSize())
        || ! temporary.overwriteTargetFileWithTemporary())
    {
        std::cerr << "make_firmware: cannot write " << output.getFullPathName() << "\n";
        return 1;
    }

    return 0;
}
