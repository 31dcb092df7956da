#pragma once

#include "sequences/GUISequenceButtons.h"

namespace tarnovelle
{

/** The "Sequences" tab: four push buttons under their captions printed on the panel
    picture, to reset, load and save the instrument's sequences and to open the sequence
    editor. The buttons broadcast their own messages; nothing is broadcast through the tab
    itself.
*/
class GUIPatternTab final : public juce::Component, public juce::ActionBroadcaster
{
public:
    GUIPatternTab();
    ~GUIPatternTab() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Registers the listener with the four buttons. */
    void setListener (juce::ActionListener* listener);

private:
    std::unique_ptr<GUISeqLoad> mSeqLoad;
    std::unique_ptr<GUISeqSave> mSeqSave;
    std::unique_ptr<GUISeqFactory> mSeqFactory;
    std::unique_ptr<GUISeqEdit> mSeqEdit;
    juce::Image mBackground;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIPatternTab)
};

} // namespace tarnovelle
