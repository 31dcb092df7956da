#pragma once

#include "editor/SequenceEditorModel.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** The eight sequences, one row each: number, length, a small preview of the melody and a
    mark on those changed since the last read or send. A click selects a sequence.
*/
class GUISequenceList final : public juce::Component, private SequenceEditorModel::Listener
{
public:
    explicit GUISequenceList (SequenceEditorModel& model);
    ~GUISequenceList() override;

    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;

    juce::Rectangle<int> getRowBounds (int index) const;

private:
    void sequenceEditorModelChanged() override { repaint(); }
    void paintRow (juce::Graphics& g, int index, juce::Rectangle<int> row);
    static void paintPreview (juce::Graphics& g, const EditedSequence& sequence, juce::Rectangle<float> area);

    SequenceEditorModel& model;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISequenceList)
};

} // namespace tarnovelle
