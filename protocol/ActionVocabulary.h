#pragma once

#include "protocol/DeviceSettings.h"

#include <array>
#include <optional>

namespace tarnovelle
{

/** The action messages that the interface broadcasts to the application's hub.

    A message is a four-letter code padded with blanks to five characters, followed by the
    decimal value for settings and by nothing for commands.
*/
enum class Action
{
    connect,             // "COMI "
    firmwareUpdate,      // "FIRM "
    setSetting,          // one of the fourteen setting codes
    factorySequences,    // "FCSQ "
    loadSequences,       // "LDSQ "
    saveSequences,       // "SVSQ "
    openSequenceEditor,  // "EDSQ "
    readEditorSequences, // "RDSQ ": the sequence editor reads all eight
    sendEditorSequences, // "WRSQ ": the sequence editor sends the changed ones
    openHistory,         // "HIST ": the History window
    restoreSnapshot,     // "RSTR ": a snapshot to the instrument, "RSTR 12" all, "RSTR 12 3" sequence 3
    readForComparison,   // "HNOW ": the History window compares with the instrument now
    playSequence,        // "PLSQ ": the sequence editor plays its selected sequence
    stopPlaying          // "STPL ": playback stops, nothing is left sounding
};

struct ActionInfo
{
    const char* prefix; // five characters, blanks included
    Action action;
    std::optional<DeviceSetting> setting;
    bool needsConnection;
};

/** The whole vocabulary, in the order the hub tests it. */
const std::array<ActionInfo, 27>& getActionTable() noexcept;

/** The entry whose prefix the message starts with, or nullptr. */
const ActionInfo* findAction (const juce::String& message) noexcept;

/** The five-character prefix of a setting ("BEND ", "MIN  "). */
juce::String getActionPrefix (DeviceSetting setting);

/** The five-character prefix of a command ("COMI ", "FCSQ "). */
juce::String getActionPrefix (Action command);

/** The message a setting widget sends: its prefix followed by the value in decimal. */
juce::String makeSettingMessage (DeviceSetting setting, juce::uint32 value);

/** The value of a message: the text after its five-character prefix, as an integer, low 8 bits. */
uint8 getActionValue (const juce::String& message) noexcept;

} // namespace tarnovelle
