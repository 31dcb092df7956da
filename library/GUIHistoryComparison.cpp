#include "library/GUIHistoryComparison.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    constexpr int headerHeight = 44;
    constexpr int labelWidth = 86;
    constexpr int lowestShownNote = 24;
    constexpr int highestShownNote = 108;
    const juce::Colour noteOfA (0xff6fa8dc);
} // namespace

GUIHistoryComparison::GUIHistoryComparison() { setOpaque (true); }
GUIHistoryComparison::~GUIHistoryComparison() = default;

juce::String GUIHistoryComparison::describe (const Snapshot& snapshot)
{
    return (snapshot.id != 0 ? "#" + juce::String (snapshot.id) + "  " + snapshot.getTimeText() + "  " : juce::String())
           + snapshot.cause;
}

void GUIHistoryComparison::show (const std::optional<Snapshot>& first, const std::optional<Snapshot>& second)
{
    a = first;
    b = second;
    comparison.reset();

    if (a.has_value() && b.has_value() && a->isReadable() && b->isReadable())
        comparison = SnapshotComparison::compare (*a, *b);

    repaint();
}

void GUIHistoryComparison::paint (juce::Graphics& g)
{
    g.fillAll (Look::background);
    auto area = getLocalBounds().reduced (8);

    if (! b.has_value())
    {
        g.setColour (Look::dimText);
        g.drawText ("Select a snapshot to see it, two (Ctrl+click) to compare them.", area,
                    juce::Justification::centred);
        return;
    }

    auto header = area.removeFromTop (headerHeight);
    g.setFont (juce::Font (13.0f));

    if (a.has_value())
    {
        g.setColour (noteOfA);
        g.drawText ("A: " + describe (*a), header.removeFromTop (headerHeight / 2), juce::Justification::centredLeft,
                    true);
    }

    g.setColour (Look::note);
    g.drawText ((a.has_value() ? "B: " : "") + describe (*b), header, juce::Justification::centredLeft, true);

    if (const auto* unreadable = ! b->isReadable() ? &*b : (a.has_value() && ! a->isReadable() ? &*a : nullptr))
    {
        g.setColour (Look::changed);
        g.drawFittedText ("Snapshot " + juce::String (unreadable->id)
                              + " cannot be read: " + unreadable->describeContentProblem()
                              + ".\nIt can be renamed, starred or deleted; it cannot be shown, compared, exported or "
                                "restored.",
                          area, juce::Justification::centred, 3);
        return;
    }

    const auto lines = comparison.has_value() ? comparison->describe() : juce::StringArray();
    juce::StringArray settingLines;

    for (const auto& line : lines)
        if (! line.startsWith ("Sequence "))
            settingLines.add (line);

    auto footer =
        area.removeFromBottom (juce::jmin (area.getHeight() / 3, 18 * juce::jmax (1, settingLines.size()) + 8));
    const float rowHeight = (float) area.getHeight() / (float) numSequences;

    for (int index = 0; index < numSequences; ++index)
        paintSequence (g, index,
                       area.toFloat().withTrimmedTop (rowHeight * (float) index).withHeight (rowHeight).reduced (0, 2));

    g.setColour (Look::text);
    g.setFont (juce::Font (13.0f));

    if (comparison.has_value())
        g.drawFittedText (settingLines.isEmpty()
                              ? juce::String ("Settings: no differences.")
                              : "Settings that differ (A / B):  " + settingLines.joinIntoString ("   "),
                          footer.reduced (0, 4), juce::Justification::topLeft, 4);
}

void GUIHistoryComparison::paintSequence (juce::Graphics& g, int index, juce::Rectangle<float> area)
{
    const auto& stepsB = b->sequences[(size_t) index];
    const int lengthB = getSequenceLength (stepsB);
    const auto* difference = comparison.has_value() ? &comparison->sequences[(size_t) index] : nullptr;

    auto label = area.removeFromLeft ((float) labelWidth);
    g.setColour (difference != nullptr && difference->differs() ? Look::changed : Look::text);
    g.setFont (juce::Font (13.0f));
    const auto lengths = difference != nullptr && difference->lengthA != difference->lengthB
                             ? juce::String (difference->lengthA) + " / " + juce::String (difference->lengthB)
                             : juce::String (lengthB);
    g.drawText (juce::String (index + 1) + "   " + lengths + " st.", label, juce::Justification::centredLeft);

    g.setColour (Look::panel);
    g.fillRect (area);
    const float stepWidth = area.getWidth() / (float) maxSequenceSteps;
    const float noteHeight = juce::jmax (2.0f, area.getHeight() / 24.0f);
    const auto yOf = [&] (int note) {
        const float position = (float) (juce::jlimit (lowestShownNote, highestShownNote, note) - lowestShownNote)
                               / (float) (highestShownNote - lowestShownNote);
        return area.getBottom() - noteHeight - position * (area.getHeight() - noteHeight);
    };

    for (int step = 0; step < maxSequenceSteps; ++step)
    {
        const float x = area.getX() + stepWidth * (float) step;

        if (difference != nullptr && comparison->stepDiffers (index, step))
        {
            g.setColour (Look::changed.withAlpha (0.35f));
            g.fillRect (x, area.getY(), stepWidth, area.getHeight());
        }

        if (step % 16 == 0)
        {
            g.setColour (Look::dimText.withAlpha (0.35f));
            g.fillRect (x, area.getY(), 1.0f, area.getHeight());
        }

        // A's note under B's where they differ, so both can be read.
        if (a.has_value() && difference != nullptr && comparison->stepDiffers (index, step)
            && step < difference->lengthA && a->sequences[(size_t) index][(size_t) step] != restStep)
        {
            g.setColour (noteOfA);
            g.fillRect (x + 1.0f, yOf (a->sequences[(size_t) index][(size_t) step]), stepWidth - 2.0f, noteHeight);
        }

        if (step < lengthB && stepsB[(size_t) step] != restStep)
        {
            g.setColour (Look::note);
            g.fillRect (x + 1.0f, yOf (stepsB[(size_t) step]), stepWidth - 2.0f, noteHeight);
        }
    }
}

} // namespace tarnovelle
