#include "editor/GUIMidiImportPreview.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

void GUIMidiImportPreview::setSteps (std::vector<uint8> stepsToShow)
{
    steps = std::move (stepsToShow);

    // The steps as a sequence file writes them, for the curious.
    juce::StringArray tokens;

    for (auto step : steps)
        tokens.add (step == restStep ? juce::String ("x") : juce::String (step));

    setTooltip (tokens.joinIntoString (" "));
    repaint();
}

void GUIMidiImportPreview::paint (juce::Graphics& g)
{
    const auto area = getLocalBounds().toFloat().reduced (2.0f);
    g.fillAll (Look::background);
    const float columnWidth = area.getWidth() / (float) maxSequenceSteps;

    g.setColour (Look::panel);

    for (int step = 0; step <= maxSequenceSteps; step += 4)
        g.drawVerticalLine ((int) (area.getX() + columnWidth * (float) step), area.getY(), area.getBottom());

    int lowest = 127, highest = 0;

    for (auto step : steps)
    {
        if (step != restStep)
        {
            lowest = juce::jmin (lowest, (int) step);
            highest = juce::jmax (highest, (int) step);
        }
    }

    // At least an octave high, so that a sequence of one note does not fill the picture.
    const int span = juce::jmax (12, highest - lowest);
    const float rowHeight = area.getHeight() / (float) (span + 1);
    const int bottomNote = lowest - (span - (highest - lowest)) / 2;

    for (size_t i = 0; i < steps.size(); ++i)
    {
        const float x = area.getX() + columnWidth * (float) i;

        if (steps[i] == restStep)
        {
            g.setColour (Look::dimText.withAlpha (0.4f));
            g.fillRect (x + 1.0f, area.getBottom() - 2.0f, columnWidth - 2.0f, 2.0f);
            continue;
        }

        const float y = area.getBottom() - rowHeight * (float) (steps[i] - bottomNote + 1);
        g.setColour (Look::note);
        g.fillRect (x + 0.5f, y, juce::jmax (1.0f, columnWidth - 1.0f), juce::jmax (2.0f, rowHeight));
    }
}

} // namespace tarnovelle
