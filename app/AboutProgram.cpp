#include "app/AboutProgram.h"

#include "firmware/FirmwareFile.h"
#include "platform/Platform.h"

namespace tarnovelle
{

namespace
{
    juce::String pathOrNone (const juce::File& file)
    {
        return file == juce::File() ? juce::String ("none") : file.getFullPathName();
    }
} // namespace

juce::String describeProgram (const ProgramFacts& facts)
{
    const auto& firmware = FirmwareFile::version;
    juce::String text;
    text << facts.productName << " " << TARNOVELLE_VERSION << "\n"
         << "Ships Tarnovelle firmware "
         << juce::String::formatted ("%d.%d.%d.%d", firmware[0], firmware[1], firmware[2], firmware[3]) << " ("
         << FirmwareFile::name << ")\n\n"
         << "History library: " << pathOrNone (facts.libraryFile) << "\n"
         << "Sequence editor's kept changes: " << pathOrNone (facts.workingSetFile) << "\n\n"
         << "Built with " << juce::SystemStats::getJUCEVersion();
    return text;
}

void showAbout (const ProgramFacts& facts)
{
    Platform::dialogs().showMessageBox (DialogIcon::info, "About " + facts.productName, describeProgram (facts));
}

} // namespace tarnovelle
