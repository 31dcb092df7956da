#include "editor/GUISequenceList.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

GUISequenceList::GUISequenceList (SequenceEditorModel& modelToShow)
    : model (modelToShow)
{
    model.addListener (this);
}

GUISequenceList::~GUISequenceList() { model.removeListener (this); }

juce::Rectangle<int> GUISequenceList::getRowBounds (int index) const
{
    const int rowHeight = getHeight() / numSequences;
    return { 0, index * rowHeight, getWidth(), rowHeight };
}

void GUISequenceList::paint (juce::Graphics& g)
{
    g.fillAll (Look::panel);

    for (int i = 0; i < numSequences; ++i)
        paintRow (g, i, getRowBounds (i));
}

void GUISequenceList::paintRow (juce::Graphics& g, int index, juce::Rectangle<int> row)
{
    const auto& sequence = model.getSequence (index);
    const bool selected = index == model.getSelectedIndex();
    auto area = row.reduced (6, 3).toFloat();

    g.setColour (selected ? Look::cursor.withAlpha (0.28f) : juce::Colour (0xff2e333a));
    g.fillRoundedRectangle (area, 4.0f);

    if (selected)
    {
        g.setColour (Look::cursor);
        g.drawRoundedRectangle (area, 4.0f, 1.5f);
    }

    auto content = area.reduced (8.0f, 4.0f);
    auto numberArea = content.removeFromLeft (26.0f);
    g.setColour (Look::text);
    g.setFont (juce::Font (20.0f, juce::Font::bold));
    g.drawText (juce::String (index + 1), numberArea, juce::Justification::centredLeft, false);

    auto textArea = content.removeFromTop (16.0f);
    g.setFont (juce::Font (12.5f));
    g.setColour (Look::dimText);
    g.drawText (juce::String (sequence.length) + (sequence.length == 1 ? " step" : " steps"), textArea,
                juce::Justification::centredLeft, false);

    if (model.isChanged (index))
    {
        g.setColour (Look::changed);
        g.drawText ("changed", textArea, juce::Justification::centredRight, false);
    }

    paintPreview (g, sequence, content.reduced (0.0f, 2.0f));
}

void GUISequenceList::paintPreview (juce::Graphics& g, const EditedSequence& sequence, juce::Rectangle<float> area)
{
    g.setColour (juce::Colours::black.withAlpha (0.25f));
    g.fillRect (area);

    int lowest = SequenceEditorModel::highestNote, highest = SequenceEditorModel::lowestNote;

    for (int i = 0; i < sequence.length; ++i)
    {
        if (sequence.isRest (i))
            continue;

        lowest = juce::jmin (lowest, (int) sequence.steps[(size_t) i]);
        highest = juce::jmax (highest, (int) sequence.steps[(size_t) i]);
    }

    // The melody's own range fills the preview's height, and its length (16 steps at least)
    // the preview's width.
    const float span = (float) juce::jmax (12, highest - lowest);
    const float stepWidth = area.getWidth() / (float) juce::jmax (16, sequence.length);
    g.setColour (Look::note);

    for (int i = 0; i < sequence.length; ++i)
    {
        if (sequence.isRest (i))
            continue;

        const float position = (float) (sequence.steps[(size_t) i] - lowest) / span;
        const float y = area.getBottom() - 3.0f - position * (area.getHeight() - 6.0f);
        g.fillRoundedRectangle (juce::Rectangle<float> (area.getX() + stepWidth * (float) i + 0.25f, y - 1.5f,
                                                        juce::jmax (1.5f, stepWidth - 0.5f), 3.0f),
                                0.75f);
    }

    g.setColour (Look::handle.withAlpha (0.8f));
    g.fillRect (juce::Rectangle<float> (area.getX() + stepWidth * (float) sequence.length - 0.5f, area.getY(), 1.0f,
                                        area.getHeight()));
}

void GUISequenceList::mouseDown (const juce::MouseEvent& e)
{
    for (int i = 0; i < numSequences; ++i)
        if (getRowBounds (i).contains (e.getPosition()))
            model.selectSequence (i);
}

} // namespace tarnovelle
