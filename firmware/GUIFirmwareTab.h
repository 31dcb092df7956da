#pragma once

#include "firmware/GUIFirmwareButtons.h"

namespace tarnovelle
{

/** The "Firmware Update" tab: the instrument's firmware version, a button that opens the
    maker's update page and a button that starts the update. Only the update button
    broadcasts; nothing is broadcast through the tab itself.
*/
class GUIFirmwareTab final : public juce::Component, public juce::ActionBroadcaster
{
public:
    GUIFirmwareTab();
    ~GUIFirmwareTab() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Registers the listener with the update button. */
    void setListener (juce::ActionListener* listener);

    /** Shows the version as a.b.c.d in plain decimal, rev1 first. */
    void showFirmwareVersion (juce::uint8 rev1, juce::uint8 rev2, juce::uint8 rev3, juce::uint8 rev4);

private:
    std::unique_ptr<GUIUpdater> mUpdater;
    std::unique_ptr<juce::Label> mCaptionLabel;
    std::unique_ptr<juce::Label> mVersionLabel;
    std::unique_ptr<GUIWebLink> mWebLink;
    juce::Image mBackground;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIFirmwareTab)
};

} // namespace tarnovelle
