#pragma once

#include "editor/SequenceEditorModel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace tarnovelle
{

/** Colours and sizes the sequence editor's parts share. */
namespace SequenceEditorLook
{
    const juce::Colour background (0xff1d2024);
    const juce::Colour panel (0xff262a30);
    const juce::Colour text (0xffe6e8eb);
    const juce::Colour dimText (0xff9aa1ab);
    const juce::Colour note (0xfff2a03d);
    const juce::Colour noteEdge (0xffffd08a);
    const juce::Colour cursor (0xff4aa3ff);
    const juce::Colour changed (0xffff6b5e);
    const juce::Colour handle (0xff7ee0a1);
    const juce::Colour selection (0xffc08cff);
    const juce::Colour rest (0xffb8bec7);

    constexpr int keyboardWidth = 64;
    constexpr int rowHeight = 13;
    constexpr int rulerHeight = 26;

    /** "C4 60": the note's name, middle C being C4, and its number. */
    juce::String noteLabel (int note);
} // namespace SequenceEditorLook

/** Where the steps lie across the grid and the ruler: 64 columns right of the keyboard. */
struct StepColumns
{
    int left = SequenceEditorLook::keyboardWidth;
    int width = 0;

    float columnWidth() const noexcept { return (float) width / (float) maxSequenceSteps; }
    float xOf (int step) const noexcept { return (float) left + columnWidth() * (float) step; }

    /** The step under x, or -1 left of the first column; may be 64 or more past the last. */
    int stepAt (float x) const noexcept;
};

/** The step numbers above the grid, the rests of the selected sequence, and its end as a
    handle that a drag moves to set the length (0 to 64).
*/
class GUIStepRuler final : public juce::Component, private SequenceEditorModel::Listener
{
public:
    explicit GUIStepRuler (SequenceEditorModel& model);
    ~GUIStepRuler() override;

    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseMove (const juce::MouseEvent& e) override;

    StepColumns columns;

    /** A press away from the handle moves the cursor; a drag from there selects steps. */

    /** The x of the end handle, in this component. */
    float getHandleX() const noexcept;

private:
    void sequenceEditorModelChanged() override { repaint(); }
    bool isNearHandle (float x) const noexcept;

    SequenceEditorModel& model;
    bool draggingHandle = false;
    int rangeStart = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIStepRuler)
};

/** The piano roll of the selected sequence: a keyboard with note names along the left, a row
    per note from 125 at the top to 1 at the bottom, and 64 step columns. A click places a note
    or makes a step holding that note a rest; a drag moves the note to other pitches and steps
    (its old step becomes a rest), as one undoable edit; Shift+click selects up to a step.

    Notes are bars as long as the gate the instrument plays them with; rests carry a rest sign
    at the height of the note before them.
*/
class GUIStepGrid final : public juce::Component, private SequenceEditorModel::Listener
{
public:
    explicit GUIStepGrid (SequenceEditorModel& model);
    ~GUIStepGrid() override;

    static constexpr int numRows = SequenceEditorModel::highestNote - SequenceEditorModel::lowestNote + 1;

    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;

    int noteAt (float y) const noexcept;
    float yOf (int note) const noexcept;

    /** The centre of a step's cell for a note, in this component. */
    juce::Point<int> getCellCentre (int step, int note) const noexcept;

    StepColumns columns;

    /** Called when a click starts an edit, so that the editor can take the keyboard back. */
    std::function<void()> onEditStarted;

private:
    void sequenceEditorModelChanged() override { repaint(); }
    void paintRows (juce::Graphics& g, juce::Rectangle<int> clip);
    void paintKeyboard (juce::Graphics& g, juce::Rectangle<int> clip);
    void paintSteps (juce::Graphics& g);
    void paintCursorAndRange (juce::Graphics& g);

    SequenceEditorModel& model;
    EditedSequence dragOrigin;
    int dragStep = -1;
    int dragTarget = -1;
    int dragNote = 0;
    bool clickedOwnNote = false;
    bool moved = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIStepGrid)
};

} // namespace tarnovelle
