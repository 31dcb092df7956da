#include "sequences/SaveTarget.h"

#include "platform/Platform.h"

namespace tarnovelle
{

juce::File confirmSaveTarget (const juce::File& chosen, const juce::StringArray& extensions)
{
    jassert (! extensions.isEmpty());

    if (chosen == juce::File())
        return {};

    for (auto& extension : extensions)
        if (chosen.hasFileExtension (extension))
            return chosen;

    const auto target = chosen.withFileExtension (extensions[0]);

    if (! target.exists())
        return target;

    const bool replace = Platform::dialogs().showOkCancelBox (
        DialogIcon::warning, "Replace file?",
        "The file is saved as \"" + target.getFileName() + "\", which already exists in\n"
            + target.getParentDirectory().getFullPathName() + "\nDo you want to replace it?");

    return replace ? target : juce::File();
}

bool confirmReplacingCompanions (const juce::Array<juce::File>& files, const juce::String& title,
                                 const juce::String& whatCancelDoes)
{
    juce::StringArray existing;

    for (auto& file : files)
        if (file.exists())
            existing.add (file.getFileName());

    if (existing.isEmpty())
        return true;

    return Platform::dialogs().showOkCancelBox (
        DialogIcon::warning, title,
        "These files already exist in\n" + files.getReference (0).getParentDirectory().getFullPathName() + "\n"
            + existing.joinIntoString ("\n") + "\nDo you want to replace them? " + whatCancelDoes);
}

} // namespace tarnovelle
