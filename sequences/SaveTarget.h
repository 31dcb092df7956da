#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** The file a save writes, given the file the user confirmed in a save chooser.

    It is the chosen file itself when its extension is one of the format's (compared without
    regard to case); otherwise the chosen name with the format's first extension in place of
    its own. Such another file, when it exists, is replaced only once the user has said so in
    the "Replace file?" box (the chooser asked about the chosen name, not this one). Returns a
    default File when the user declines, or cancelled the chooser (a default File chosen).
*/
juce::File confirmSaveTarget (const juce::File& chosen, const juce::StringArray& extensions);

/** Asks before replacing files that come with a save but were never shown in its chooser:
    true when none of them exists, or when the user agrees in the box with this title, whose
    message lists the existing ones and ends with the text given.
*/
bool confirmReplacingCompanions (const juce::Array<juce::File>& files, const juce::String& title,
                                 const juce::String& whatCancelDoes);

} // namespace tarnovelle
