#include "platform/DialogLookAndFeel.h"

namespace tarnovelle
{

// JUCE's dark scheme fills the bar with a near-black over its dark track: a light blue
// instead, over a track darker than the window around it.
const juce::Colour DialogLookAndFeel::progressTrack (0xff101518);
const juce::Colour DialogLookAndFeel::progressFill (0xff4fc3f7);

DialogLookAndFeel::DialogLookAndFeel()
{
    setColour (juce::ProgressBar::backgroundColourId, progressTrack);
    setColour (juce::ProgressBar::foregroundColourId, progressFill);
}

void DialogLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                         double progress, const juce::String& textToShow)
{
    juce::LookAndFeel_V4::drawProgressBar (g, bar, width, height, progress, {});

    if (textToShow.isEmpty())
        return;

    const juce::Rectangle<int> area (width, height);
    g.setFont ((float) height * 0.6f);
    g.setColour (juce::Colours::black);

    for (auto offset : { juce::Point<int> (-1, 0), { 1, 0 }, { 0, -1 }, { 0, 1 } })
        g.drawText (textToShow, area + offset, juce::Justification::centred, false);

    g.setColour (juce::Colours::white);
    g.drawText (textToShow, area, juce::Justification::centred, false);
}

juce::Rectangle<int> DialogLookAndFeel::getIconArea (int textTop)
{
    constexpr int margin = 14;
    constexpr int side = iconColumnWidth - 2 * margin;
    return { margin, textTop, side, side };
}

void DialogLookAndFeel::drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>&,
                                      juce::TextLayout& textLayout)
{
    constexpr float cornerSize = 4.0f;
    constexpr int textTop = 30; // where JUCE's own look starts the title

    g.setColour (alert.findColour (juce::AlertWindow::outlineColourId));
    g.drawRoundedRectangle (alert.getLocalBounds().toFloat(), cornerSize, 2.0f);

    const auto bounds = alert.getLocalBounds().reduced (1);
    g.reduceClipRegion (bounds);
    g.setColour (alert.findColour (juce::AlertWindow::backgroundColourId));
    g.fillRoundedRectangle (bounds.toFloat(), cornerSize);

    int iconSpaceUsed = 0;
    const auto type = alert.getAlertType();

    if (type != juce::MessageBoxIconType::NoIcon)
    {
        // JUCE draws a larger icon partly above the box and under the title; this one stays
        // whole, inside the column the box keeps free for it, level with the title.
        const auto iconArea = getIconArea (textTop).toFloat();
        juce::Path icon;
        juce::Colour colour;
        char character = '!';

        if (type == juce::MessageBoxIconType::WarningIcon)
        {
            icon.addTriangle (iconArea.getCentreX(), iconArea.getY(), iconArea.getRight(), iconArea.getBottom(),
                              iconArea.getX(), iconArea.getBottom());
            icon = icon.createPathWithRoundedCorners (5.0f);
            colour = juce::Colour (0x66ff2a00);
        }
        else
        {
            icon.addEllipse (iconArea);
            colour = juce::Colour (0xff00b0b9).withAlpha (0.4f);
            character = type == juce::MessageBoxIconType::InfoIcon ? 'i' : '?';
        }

        // The mark is cut out of the shape, as in JUCE's own look.
        juce::GlyphArrangement mark;
        mark.addFittedText ({ iconArea.getHeight() * 0.7f, juce::Font::bold },
                            juce::String::charToString ((juce::juce_wchar) (juce::uint8) character), iconArea.getX(),
                            iconArea.getY() + iconArea.getHeight() * 0.12f, iconArea.getWidth(), iconArea.getHeight(),
                            juce::Justification::centred, false);
        mark.createPath (icon);
        icon.setUsingNonZeroWinding (false);
        g.setColour (colour);
        g.fillPath (icon);

        iconSpaceUsed = iconColumnWidth;
    }

    g.setColour (alert.findColour (juce::AlertWindow::textColourId));
    textLayout.draw (g, juce::Rectangle<int> (bounds.getX() + iconSpaceUsed, textTop, bounds.getWidth(),
                                              bounds.getHeight() - getAlertWindowButtonHeight() - 20)
                            .toFloat());
}

} // namespace tarnovelle
