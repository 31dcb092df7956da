#include "editor/GUISequenceGrid.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    bool isBlackKey (int note) noexcept
    {
        const int pitchClass = note % 12;
        return pitchClass == 1 || pitchClass == 3 || pitchClass == 6 || pitchClass == 8 || pitchClass == 10;
    }

    /** A whole rest: a small filled bar hanging from a line. */
    void paintRestSign (juce::Graphics& g, juce::Rectangle<float> area)
    {
        const auto bar = juce::Rectangle<float> (juce::jmin (9.0f, area.getWidth() - 2.0f), 4.0f)
                             .withCentre (area.getCentre().translated (0.0f, 1.0f));
        g.fillRect (bar);
        g.fillRect (bar.expanded (2.0f, 0.0f).withHeight (1.0f).translated (0.0f, -1.0f));
    }
} // namespace

juce::String SequenceEditorLook::noteLabel (int note)
{
    return juce::MidiMessage::getMidiNoteName (note, true, true, 4) + " " + juce::String (note);
}

int StepColumns::stepAt (float x) const noexcept
{
    if (x < (float) left || width <= 0)
        return -1;

    return (int) ((x - (float) left) / columnWidth());
}

//==============================================================================
GUIStepRuler::GUIStepRuler (SequenceEditorModel& modelToShow)
    : model (modelToShow)
{
    model.addListener (this);
}

GUIStepRuler::~GUIStepRuler() { model.removeListener (this); }

float GUIStepRuler::getHandleX() const noexcept { return columns.xOf (model.getSelected().length); }

bool GUIStepRuler::isNearHandle (float x) const noexcept { return std::abs (x - getHandleX()) <= 7.0f; }

void GUIStepRuler::paint (juce::Graphics& g)
{
    const auto& sequence = model.getSelected();
    const float w = columns.columnWidth();
    g.fillAll (Look::panel);

    g.setFont (juce::Font (11.0f));

    for (int step = 0; step < maxSequenceSteps; ++step)
    {
        const juce::Rectangle<float> cell (columns.xOf (step), 0.0f, w, (float) getHeight());

        if (model.getRange().contains (step))
        {
            g.setColour (Look::selection.withAlpha (0.35f));
            g.fillRect (cell);
        }

        if (step == model.getCursor() && sequence.length > 0)
        {
            g.setColour (Look::cursor.withAlpha (0.6f));
            g.fillRect (cell.withTrimmedTop (cell.getHeight() - 5.0f));
        }

        // Every fourth step is numbered; rests carry their sign under the numbers.
        if (step % 4 == 0)
        {
            g.setColour (step < sequence.length ? Look::text : Look::dimText.withAlpha (0.6f));
            g.drawText (juce::String (step + 1), cell.withWidth (w * 4.0f).withHeight (13.0f).translated (2.0f, 1.0f),
                        juce::Justification::centredLeft, false);
            g.setColour (Look::dimText.withAlpha (0.5f));
            g.drawVerticalLine ((int) cell.getX(), 0.0f, (float) getHeight());
        }

        if (step < sequence.length && sequence.isRest (step))
        {
            g.setColour (Look::text);
            paintRestSign (g, cell.withTrimmedTop (13.0f));
        }
    }

    // The end handle: a bright bar with a grip, where the sequence stops.
    const float x = getHandleX();
    g.setColour (Look::handle);
    g.fillRect (juce::Rectangle<float> (x - 1.5f, 0.0f, 3.0f, (float) getHeight()));
    juce::Path grip;
    grip.addTriangle (x - 6.0f, (float) getHeight() - 9.0f, x + 6.0f, (float) getHeight() - 9.0f, x,
                      (float) getHeight());
    g.fillPath (grip);
}

void GUIStepRuler::mouseMove (const juce::MouseEvent& e)
{
    setMouseCursor (isNearHandle (e.position.x) ? juce::MouseCursor::LeftRightResizeCursor
                                                : juce::MouseCursor::NormalCursor);
}

void GUIStepRuler::mouseDown (const juce::MouseEvent& e)
{
    draggingHandle = isNearHandle (e.position.x);

    if (draggingHandle)
    {
        model.beginGesture();
        return;
    }

    const int step = columns.stepAt (e.position.x);
    rangeStart = step;

    if (step < 0)
        return;

    if (e.mods.isShiftDown())
        model.extendRangeTo (step);
    else
        model.moveCursorTo (step);
}

void GUIStepRuler::mouseDrag (const juce::MouseEvent& e)
{
    if (! draggingHandle)
    {
        const int step = juce::jlimit (0, maxSequenceSteps - 1, columns.stepAt (e.position.x));

        if (rangeStart >= 0 && e.mouseWasDraggedSinceMouseDown())
            model.selectRange (rangeStart, step);

        return;
    }

    // The handle falls between columns: the length is the nearest boundary.
    const float boundary = (e.position.x - (float) columns.left) / columns.columnWidth();
    model.setLength (juce::roundToInt (boundary));
}

void GUIStepRuler::mouseUp (const juce::MouseEvent&)
{
    if (draggingHandle)
        model.endGesture();

    draggingHandle = false;
    rangeStart = -1;
}

//==============================================================================
GUIStepGrid::GUIStepGrid (SequenceEditorModel& modelToShow)
    : model (modelToShow)
{
    model.addListener (this);
    setSize (800, numRows * Look::rowHeight);
}

GUIStepGrid::~GUIStepGrid() { model.removeListener (this); }

int GUIStepGrid::noteAt (float y) const noexcept
{
    return juce::jlimit (SequenceEditorModel::lowestNote, SequenceEditorModel::highestNote,
                         SequenceEditorModel::highestNote - (int) (y / (float) Look::rowHeight));
}

float GUIStepGrid::yOf (int note) const noexcept
{
    return (float) ((SequenceEditorModel::highestNote - note) * Look::rowHeight);
}

juce::Point<int> GUIStepGrid::getCellCentre (int step, int note) const noexcept
{
    return { juce::roundToInt (columns.xOf (step) + columns.columnWidth() / 2.0f),
             juce::roundToInt (yOf (note) + (float) Look::rowHeight / 2.0f) };
}

void GUIStepGrid::paint (juce::Graphics& g)
{
    const auto clip = g.getClipBounds();
    paintRows (g, clip);
    paintSteps (g);
    paintKeyboard (g, clip);
}

void GUIStepGrid::paintRows (juce::Graphics& g, juce::Rectangle<int> clip)
{
    const auto& sequence = model.getSelected();
    g.fillAll (Look::background);

    for (int note = SequenceEditorModel::lowestNote; note <= SequenceEditorModel::highestNote; ++note)
    {
        const float y = yOf (note);

        if (y > (float) clip.getBottom() || y + (float) Look::rowHeight < (float) clip.getY())
            continue;

        g.setColour (isBlackKey (note) ? juce::Colour (0xff202328) : juce::Colour (0xff2a2e35));
        g.fillRect (juce::Rectangle<float> ((float) columns.left, y, (float) columns.width, (float) Look::rowHeight));

        // A line under every C marks the octaves.
        g.setColour (note % 12 == 0 ? juce::Colour (0xff4b515b) : juce::Colour (0xff24272c));
        g.drawHorizontalLine ((int) (y + (float) Look::rowHeight) - 1, (float) columns.left,
                              (float) (columns.left + columns.width));
    }

    for (int step = 0; step <= maxSequenceSteps; ++step)
    {
        g.setColour (step % 4 == 0 ? juce::Colour (0xff4b515b) : juce::Colour (0xff30343b));
        g.drawVerticalLine (juce::roundToInt (columns.xOf (step)), (float) clip.getY(), (float) clip.getBottom());
    }

    // Past the end the steps are shaded; rests within it are hatched lightly.
    const float end = columns.xOf (sequence.length);
    g.setColour (juce::Colours::black.withAlpha (0.45f));
    g.fillRect (juce::Rectangle<float> (end, (float) clip.getY(), (float) (columns.left + columns.width) - end,
                                        (float) clip.getHeight()));

    for (int step = 0; step < sequence.length; ++step)
    {
        if (! sequence.isRest (step))
            continue;

        g.setColour (juce::Colours::white.withAlpha (0.04f));
        g.fillRect (juce::Rectangle<float> (columns.xOf (step), (float) clip.getY(), columns.columnWidth(),
                                            (float) clip.getHeight()));
    }
}

void GUIStepGrid::paintCursorAndRange (juce::Graphics& g)
{
    const auto& sequence = model.getSelected();
    const float w = columns.columnWidth();
    const auto range = model.getRange();

    // The range is a violet band with edges; the cursor a blue column with bright sides.
    if (! range.isEmpty())
    {
        const juce::Rectangle<float> band (columns.xOf (range.getStart()), 0.0f, w * (float) range.getLength(),
                                           (float) getHeight());
        g.setColour (Look::selection.withAlpha (0.16f));
        g.fillRect (band);
        g.setColour (Look::selection.withAlpha (0.7f));
        g.drawVerticalLine (juce::roundToInt (band.getX()), 0.0f, band.getBottom());
        g.drawVerticalLine (juce::roundToInt (band.getRight()) - 1, 0.0f, band.getBottom());
    }

    if (sequence.length > 0)
    {
        const juce::Rectangle<float> column (columns.xOf (model.getCursor()), 0.0f, w, (float) getHeight());
        g.setColour (Look::cursor.withAlpha (0.22f));
        g.fillRect (column);
        g.setColour (Look::cursor.withAlpha (0.8f));
        g.fillRect (column.withWidth (1.5f));
        g.fillRect (column.withTrimmedLeft (w - 1.5f));
    }
}

void GUIStepGrid::paintSteps (juce::Graphics& g)
{
    const auto& sequence = model.getSelected();
    const float w = columns.columnWidth();
    const float gate = (float) model.getGateLength() / 4.0f;
    paintCursorAndRange (g);
    // Rests before the first note stand at its height.
    const auto firstNote = std::find_if (sequence.steps.begin(), sequence.steps.begin() + sequence.length,
                                         [] (uint8 step) { return step != restStep; });
    int restRow =
        firstNote != sequence.steps.begin() + sequence.length ? *firstNote : SequenceEditorModel::firstLastNote;

    for (int step = 0; step < sequence.length; ++step)
    {
        const float x = columns.xOf (step);

        if (sequence.isRest (step))
        {
            g.setColour (Look::rest);
            paintRestSign (g, { x, yOf (restRow), w, (float) Look::rowHeight });
            continue;
        }

        restRow = sequence.steps[(size_t) step];
        const auto cell = juce::Rectangle<float> (x, yOf (restRow), w, (float) Look::rowHeight).reduced (1.0f, 1.0f);
        const auto bar = cell.withWidth (juce::jmax (3.0f, w * gate - 1.0f));
        g.setColour (Look::note.withAlpha (0.25f));
        g.drawRect (cell, 1.0f);
        g.setColour (Look::note);
        g.fillRoundedRectangle (bar, 2.5f);
        g.setColour (step == model.getCursor() ? juce::Colours::white : Look::noteEdge);
        g.drawRoundedRectangle (bar, 2.5f, step == model.getCursor() ? 1.6f : 0.8f);
    }

    g.setColour (Look::handle);
    g.fillRect (juce::Rectangle<float> (columns.xOf (sequence.length) - 1.5f, 0.0f, 3.0f, (float) getHeight()));
}

void GUIStepGrid::paintKeyboard (juce::Graphics& g, juce::Rectangle<int> clip)
{
    const auto& sequence = model.getSelected();
    const int cursorNote = model.getCursor() < sequence.length && ! sequence.isRest (model.getCursor())
                               ? sequence.steps[(size_t) model.getCursor()]
                               : -1;
    g.setFont (juce::Font (10.5f));

    for (int note = SequenceEditorModel::lowestNote; note <= SequenceEditorModel::highestNote; ++note)
    {
        const float y = yOf (note);

        if (y > (float) clip.getBottom() || y + (float) Look::rowHeight < (float) clip.getY())
            continue;

        const juce::Rectangle<float> key (0.0f, y, (float) Look::keyboardWidth, (float) Look::rowHeight);
        const bool black = isBlackKey (note);
        g.setColour (note == cursorNote ? Look::cursor
                                        : (black ? juce::Colour (0xff15171a) : juce::Colour (0xffeeeeea)));
        g.fillRect (key);
        g.setColour (juce::Colour (0xff8a8f96));
        g.drawHorizontalLine ((int) key.getBottom() - 1, 0.0f, key.getRight());

        g.setColour (note == cursorNote || black ? juce::Colours::white : juce::Colour (0xff202328));
        g.drawText (Look::noteLabel (note), key.reduced (4.0f, 0.0f), juce::Justification::centredLeft, false);
    }

    g.setColour (juce::Colours::black);
    g.drawVerticalLine (Look::keyboardWidth - 1, (float) clip.getY(), (float) clip.getBottom());
}

void GUIStepGrid::mouseDown (const juce::MouseEvent& e)
{
    const int step = columns.stepAt (e.position.x);
    moved = false;
    dragStep = -1;

    if (step < 0 || step >= maxSequenceSteps)
        return;

    if (onEditStarted)
        onEditStarted();

    if (e.mods.isShiftDown())
    {
        model.extendRangeTo (step);
        return;
    }

    const int note = noteAt (e.position.y);
    const auto& sequence = model.getSelected();
    clickedOwnNote = step < sequence.length && sequence.steps[(size_t) step] == note;

    // The placed note and the places it is dragged through undo as one.
    model.beginGesture();

    if (clickedOwnNote)
        model.moveCursorTo (step);
    else
        model.toggleNote (step, note);

    dragOrigin = model.getSelected();
    dragStep = dragTarget = step;
    dragNote = note;
}

void GUIStepGrid::mouseDrag (const juce::MouseEvent& e)
{
    if (dragStep < 0)
        return;

    const int note = noteAt (e.position.y);
    const int step = juce::jlimit (0, maxSequenceSteps - 1, columns.stepAt (e.position.x));

    if (note == dragNote && step == dragTarget)
        return;

    moved = true;
    dragNote = note;
    dragTarget = step;
    model.moveNote (dragOrigin, dragStep, step, note);
}

void GUIStepGrid::mouseUp (const juce::MouseEvent&)
{
    if (dragStep < 0)
        return;

    // A click on the note a step holds, without a drag, makes the step a rest.
    if (clickedOwnNote && ! moved)
        model.makeRest();

    model.endGesture();
    dragStep = -1;
}

} // namespace tarnovelle
