#include "editor/SequenceTools.h"

#include "sequences/MidiImport.h"

#include <algorithm>

namespace tarnovelle
{

namespace
{
    constexpr int lowest = 1;
    constexpr int highest = 125;

    /** The pitch classes of each scale, from its root. */
    const std::vector<int>& intervalsOf (Scale scale)
    {
        static const std::array<std::vector<int>, numScales> intervals{ {
            { 0, 2, 4, 5, 7, 9, 11 },
            { 0, 2, 3, 5, 7, 8, 10 },
            { 0, 2, 3, 5, 7, 8, 11 },
            { 0, 2, 3, 5, 7, 9, 10 },
            { 0, 1, 3, 5, 7, 8, 10 },
            { 0, 2, 4, 5, 7, 9, 10 },
            { 0, 3, 5, 7, 10 },
            { 0, 2, 4, 7, 9 },
            { 0, 3, 5, 6, 7, 10 },
            { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 },
        } };
        return intervals[(size_t) scale];
    }

    template <typename NoteFunction>
    Steps mapNotes (Steps steps, NoteFunction&& function)
    {
        for (auto& step : steps)
            if (step != restStep)
                step = (uint8) function ((int) step);

        return steps;
    }

    /** The scale's notes within lowest to highest, in order. */
    std::vector<int> scaleNotesWithin (int low, int high, int root, Scale scale)
    {
        std::vector<int> notes;

        for (int note = juce::jmax (lowest, low); note <= juce::jmin (highest, high); ++note)
            if (isInScale (note, root, scale))
                notes.push_back (note);

        return notes;
    }
} // namespace

juce::StringArray getScaleNames()
{
    return { "major",      "natural minor",    "harmonic minor",   "dorian", "phrygian",
             "mixolydian", "minor pentatonic", "major pentatonic", "blues",  "chromatic" };
}

juce::StringArray getPitchClassNames() { return { "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" }; }

bool isInScale (int note, int root, Scale scale) noexcept
{
    const int pitchClass = ((note - root) % 12 + 12) % 12;
    const auto& intervals = intervalsOf (scale);
    return std::find (intervals.begin(), intervals.end(), pitchClass) != intervals.end();
}

//==============================================================================
Steps SequenceTools::rotateRight (Steps steps)
{
    if (! steps.empty())
        std::rotate (steps.rbegin(), steps.rbegin() + 1, steps.rend());

    return steps;
}

Steps SequenceTools::rotateLeft (Steps steps)
{
    if (! steps.empty())
        std::rotate (steps.begin(), steps.begin() + 1, steps.end());

    return steps;
}

Steps SequenceTools::reverse (Steps steps)
{
    std::reverse (steps.begin(), steps.end());
    return steps;
}

Steps SequenceTools::invert (Steps steps, int centre)
{
    return mapNotes (std::move (steps), [centre] (int note) { return foldNoteIntoRange (2 * centre - note); });
}

Steps SequenceTools::fitToScale (Steps steps, int root, Scale scale)
{
    return mapNotes (std::move (steps), [root, scale] (int note) {
        // Every scale has a note within six semitones; below first, so ties go down.
        for (int distance = 0; distance <= 6; ++distance)
        {
            if (note - distance >= lowest && isInScale (note - distance, root, scale))
                return note - distance;

            if (note + distance <= highest && isInScale (note + distance, root, scale))
                return note + distance;
        }

        return note;
    });
}

Steps SequenceTools::doubled (const Steps& steps)
{
    Steps result (steps);
    result.insert (result.end(), steps.begin(), steps.end());
    result.resize (juce::jmin (result.size(), (size_t) maxSequenceSteps));
    return result;
}

Steps SequenceTools::halved (const Steps& steps)
{
    return Steps (steps.begin(), steps.begin() + (long) (steps.size() + 1) / 2);
}

Steps SequenceTools::generate (int count, const Generation& generation)
{
    const auto notes = scaleNotesWithin (juce::jmin (generation.lowestNote, generation.highestNote),
                                         juce::jmax (generation.lowestNote, generation.highestNote), generation.root,
                                         generation.scale);
    juce::Random random (generation.seed);
    Steps steps;

    for (int i = 0; i < count; ++i)
    {
        // Both numbers are drawn for every step, so that a rest share changes no other step.
        const bool rest = random.nextInt (100) < generation.restPercent;
        const int pick = random.nextInt (juce::jmax (1, (int) notes.size()));
        steps.push_back (rest || notes.empty() ? restStep : (uint8) notes[(size_t) pick]);
    }

    return steps;
}

//==============================================================================
juce::String formatStepText (const Steps& steps)
{
    juce::StringArray tokens;

    for (auto step : steps)
        tokens.add (step == restStep ? juce::String ("x") : juce::String ((int) step));

    return tokens.joinIntoString (" ");
}

std::optional<Steps> parseStepText (const juce::String& text)
{
    const auto stepText = text.containsChar (':') ? text.fromFirstOccurrenceOf (":", false, false) : text;
    auto tokens = juce::StringArray::fromTokens (stepText, " \t\r\n", "");
    tokens.removeEmptyStrings();

    if (tokens.isEmpty() || tokens.size() > maxSequenceSteps)
        return std::nullopt;

    Steps steps;

    for (const auto& token : tokens)
    {
        if (token == "x" || token == "X")
        {
            steps.push_back (restStep);
            continue;
        }

        if (! token.containsOnly ("0123456789") || token.length() > 3 || token.getIntValue() < lowest
            || token.getIntValue() > highest)
            return std::nullopt;

        steps.push_back ((uint8) token.getIntValue());
    }

    return steps;
}

} // namespace tarnovelle
