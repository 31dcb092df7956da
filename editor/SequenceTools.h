#pragma once

#include "sequences/StepBuffer.h"

#include <optional>
#include <vector>

namespace tarnovelle
{

/** Steps as the editor's tools take them: note numbers 1 to 125 and rests (127), no end mark. */
using Steps = std::vector<uint8>;

/** The scales the tools know, in the order the editor offers them. */
enum class Scale
{
    major,
    naturalMinor,
    harmonicMinor,
    dorian,
    phrygian,
    mixolydian,
    minorPentatonic,
    majorPentatonic,
    blues,
    chromatic
};

constexpr int numScales = 10;

/** "major", "natural minor", ... as the editor shows them. */
juce::StringArray getScaleNames();

/** "C", "C#", ... "B": the roots a scale may start on, pitch class 0 first. */
juce::StringArray getPitchClassNames();

/** True when the note's pitch class belongs to the scale built on the root (0 = C). */
bool isInScale (int note, int root, Scale scale) noexcept;

/** The sequence tools: each takes steps and gives the changed steps; rests stay rests. */
namespace SequenceTools
{
    /** By one step: the last step comes to the front (right) or the first to the end (left). */
    Steps rotateRight (Steps steps);
    Steps rotateLeft (Steps steps);
    Steps reverse (Steps steps);

    /** Each note mirrored around `centre`; a mirror outside 1 to 125 moves by octaves into it. */
    Steps invert (Steps steps, int centre);

    /** Each note moved to the nearest note of the scale (the lower one when two are as near). */
    Steps fitToScale (Steps steps, int root, Scale scale);

    /** The steps twice over, cut at 64. */
    Steps doubled (const Steps& steps);

    /** The first half (of an odd count, the longer half). */
    Steps halved (const Steps& steps);

    /** What "generate" fills steps with. */
    struct Generation
    {
        int root = 0;
        Scale scale = Scale::major;
        int lowestNote = 48;
        int highestNote = 72;
        int restPercent = 25;
        juce::int64 seed = 1;
    };

    /** `count` steps of random notes of the scale within the range, about `restPercent` of
        them rests. The same seed gives the same steps. A range holding no note of the scale
        gives rests only.
    */
    Steps generate (int count, const Generation& generation);
} // namespace SequenceTools

/** Step text as a .tvseq line holds it after the colon: "60 62 x 64". */
juce::String formatStepText (const Steps& steps);

/** Reads step text: notes 1 to 125 and x for a rest, separated by white space; the sequence
    number and colon of a whole .tvseq line are skipped. Nothing for other text, an empty
    text, or more than 64 steps.
*/
std::optional<Steps> parseStepText (const juce::String& text);

} // namespace tarnovelle
