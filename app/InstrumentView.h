#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

using juce::uint8;

/** What the application shows of the instrument: implemented by the main window, which passes
    every call down to the editor window and its tabs. None of these calls broadcasts anything.
*/
class InstrumentView
{
public:
    virtual ~InstrumentView() = default;

    virtual void setConnected (bool connected) = 0;
    virtual void showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4) = 0;

    virtual void showMidiInChannel (int value) = 0;
    virtual void showMidiOutChannel (int value) = 0;
    virtual void showInputGain (int value) = 0;
    virtual void showLfoRetrigger (bool on) = 0;
    virtual void showArpHold (bool on) = 0;
    virtual void showKeyboardMode (int value) = 0;
    virtual void showKeyboardLegato (int value) = 0;
    virtual void showVelocity (int value) = 0;
    virtual void showAftertouch (int value) = 0;
    virtual void showBendRange (int value) = 0;
    virtual void showStepSize (int value) = 0;
    virtual void showGateLength (int value) = 0;
    virtual void showTapAverage (int value) = 0;
    virtual void showClockSync (int value) = 0;
};

} // namespace tarnovelle
