#pragma once

#include "sequences/MidiImport.h"

namespace tarnovelle
{

/** Asks the user which notes of a MIDI file to import: the interface shows a window with the
    file's tracks and a preview, tests answer from a script.
*/
class MidiImportChooser
{
public:
    virtual ~MidiImportChooser() = default;

    /** Shows the file's choices, starting from the given one; returns false when the user
        cancelled, and otherwise leaves the user's answer in choice.
    */
    virtual bool chooseImport (const juce::String& fileName, const juce::MidiFile& file, MidiImportChoice& choice) = 0;
};

} // namespace tarnovelle
