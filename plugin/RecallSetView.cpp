#include "RecallSetView.h"

#include "library/SettingTexts.h"

namespace tarnovelle
{

namespace
{
    const juce::Colour background (0xff23262b), strip (0xff1a1c20), note (0xffe0a030), text (0xffe6e6e6),
        dimText (0xff9a9ea6);
} // namespace

void RecallSetView::setSet (const std::optional<KeptSet>& setToShow)
{
    if (set == setToShow)
        return;

    set = setToShow;
    repaint();
}

void RecallSetView::paint (juce::Graphics& g)
{
    g.fillAll (background);
    auto area = getLocalBounds().reduced (8);

    if (! set.has_value())
    {
        g.setColour (dimText);
        g.setFont (15.0f);
        g.drawText ("No set kept yet: Take from Tarnovelle keeps what the instrument holds.", area,
                    juce::Justification::centred, true);
        return;
    }

    paintSettings (g, area.removeFromRight (280));
    paintSequences (g, area.withTrimmedRight (12).toFloat());
}

void RecallSetView::paintSequences (juce::Graphics& g, juce::Rectangle<float> area) const
{
    const float rowHeight = area.getHeight() / (float) numSequences;
    const float labelWidth = 22.0f;
    const float stepWidth = (area.getWidth() - labelWidth) / (float) maxSequenceSteps;

    for (int index = 0; index < numSequences; ++index)
    {
        auto row = area.withHeight (rowHeight).translated (0.0f, rowHeight * (float) index).reduced (0.0f, 2.0f);
        g.setColour (dimText);
        g.setFont (13.0f);
        g.drawText (juce::String (index + 1), row.removeFromLeft (labelWidth), juce::Justification::centredLeft);
        g.setColour (strip);
        g.fillRect (row);

        const auto& steps = set->sequences[(size_t) index];

        for (int step = 0; step < getSequenceLength (steps); ++step)
        {
            g.setColour (steps[(size_t) step] == restStep ? dimText.withAlpha (0.3f) : note);
            g.fillRect (row.getX() + stepWidth * (float) step, row.getY(), juce::jmax (1.0f, stepWidth - 0.5f),
                        row.getHeight());
        }
    }
}

void RecallSetView::paintSettings (juce::Graphics& g, juce::Rectangle<int> area) const
{
    const int rowHeight = area.getHeight() / numDeviceSettings;
    g.setFont (13.0f);

    for (auto& info : getDeviceSettingTable())
    {
        auto row = area.removeFromTop (rowHeight);
        g.setColour (dimText);
        g.drawText (getSettingPanelName (info.setting), row.removeFromLeft (160), juce::Justification::centredLeft);
        g.setColour (text);
        g.drawText (describeSettingValue (info.setting, set->settings[(size_t) info.setting]), row,
                    juce::Justification::centredLeft, true);
    }
}

} // namespace tarnovelle
