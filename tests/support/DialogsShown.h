#pragma once

#include "platform/ScriptedDialogs.h"

#include <algorithm>

namespace tarnovelle::test
{

/** The message boxes, OK/Cancel boxes and questions shown, in order, each as `describe` gives it. */
template <typename Describe>
juce::String describeBoxes (const ScriptedDialogs& dialogs, const juce::String& separator, Describe&& describe)
{
    juce::StringArray shown;

    for (auto& r : dialogs.getRecords())
        if (r.kind == ScriptedDialogs::Kind::messageBox || r.kind == ScriptedDialogs::Kind::okCancelBox
            || r.kind == ScriptedDialogs::Kind::question)
            shown.add (describe (r));

    return shown.joinIntoString (separator);
}

/** The message and OK/Cancel boxes shown, one "title|message" line each (of each message its
    first line only, when asked).
*/
inline juce::String boxesShown (const ScriptedDialogs& dialogs, bool firstLinesOnly = false)
{
    return describeBoxes (dialogs, "\n", [firstLinesOnly] (const ScriptedDialogs::Record& r) {
        return r.title + "|" + (firstLinesOnly ? r.message.upToFirstOccurrenceOf ("\n", false, false) : r.message);
    });
}

/** The titles of the message and OK/Cancel boxes shown, in order. */
inline juce::String boxTitles (const ScriptedDialogs& dialogs)
{
    return describeBoxes (dialogs, ", ", [] (const ScriptedDialogs::Record& r) { return r.title; });
}

/** A question's buttons left to right, each marked with the key that answers it:
    "Send Anyway / Cancel (Return, Escape)".
*/
inline juce::String describeChoices (const ScriptedDialogs::Record& question)
{
    juce::StringArray buttons;

    for (int i = 0; i < question.choices.size(); ++i)
    {
        juce::StringArray keys;

        if (i == question.returnChoice)
            keys.add ("Return");
        if (i == question.escapeChoice)
            keys.add ("Escape");

        buttons.add (question.choices[i] + (keys.isEmpty() ? "" : " (" + keys.joinIntoString (", ") + ")"));
    }

    return buttons.joinIntoString (" / ");
}

/** How many progress windows with this title were opened. */
inline int countProgressWindows (const ScriptedDialogs& dialogs, const juce::String& title)
{
    const auto windows = dialogs.getRecords (ScriptedDialogs::Kind::progressWindow);
    return (int) std::count_if (windows.begin(), windows.end(), [&title] (auto& r) { return r.title == title; });
}

} // namespace tarnovelle::test
