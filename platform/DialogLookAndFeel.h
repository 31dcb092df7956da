#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** JUCE's own look for the program's windows, with dialogs that read well: a progress bar
    whose fill stands out from its track, and message box icons drawn whole, in a column of
    their own beside the title and text rather than cut at the box's edge and under them.
*/
class DialogLookAndFeel final : public juce::LookAndFeel_V4
{
public:
    DialogLookAndFeel();

    void drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea,
                       juce::TextLayout& textLayout) override;

    /** JUCE's bar, with its percentage in white on a dark outline, readable over the fill and
        the track alike.
    */
    void drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height, double progress,
                          const juce::String& textToShow) override;

    /** The progress bar's track and the fill that grows over it. */
    static const juce::Colour progressTrack, progressFill;

    /** The width JUCE's alert windows keep free for an icon at their left. */
    static constexpr int iconColumnWidth = 80;

    /** Where the icon is drawn in a box whose text starts at the given height. */
    static juce::Rectangle<int> getIconArea (int textTop);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DialogLookAndFeel)
};

} // namespace tarnovelle
