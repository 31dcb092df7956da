#pragma once

#include "sequences/StepBuffer.h"

#include <string_view>
#include <vector>

namespace tarnovelle
{

/** The .tvseq sequence set file, as text, without any device or dialog.

    Eight lines, one per sequence, separated by a single line feed and with none after the
    last: the sequence number, a colon, then the steps separated by single spaces, a note as
    its number and a rest as "x". "4:60 48 x 72" is sequence 4 with four steps.
*/

/** One line: the sequence number, a colon and the steps up to the first 0 byte (at most 64). */
juce::String formatSequenceLine (int sequenceNumber, const uint8* steps);

/** The whole file for a set of eight sequences. */
juce::String formatSequenceFile (const SequenceSet& sequences);

/** One sequence taken from a file. */
struct ParsedSequence
{
    int number = 0; // 1 to 8
    int line = 0;   // the 1-based line it came from
    std::vector<uint8> steps;
};

/** What a file holds: its sequences in file order, or the error that stopped the parse. */
struct SequenceFileContent
{
    std::vector<ParsedSequence> sequences;

    /** Empty when the file is good. */
    juce::String error;

    /** The line whose number is not 1 to 8 and so ended the file early, or 0 if none did. */
    int stopLine = 0;

    /** The number of lines the text splits into. */
    int numLines = 0;

    bool isValid() const noexcept { return error.isEmpty(); }
};

/** The highest note a sequence file loads: the instrument's own 126 is saved but refused. */
constexpr int highestNoteInFiles = 125;

/** The highest note the instrument holds (127 is a rest), which the plug-in's link and the
    state it keeps carry in the same line format, so that a set taken from the instrument can
    always go back to it.
*/
constexpr int highestInstrumentNote = 126;

/** Parses the text of a sequence file.

    The text is split at line feeds, a line feed between two double quotes not counting.
    Each line's number is the integer before its first colon; a number outside 1 to 8 ends
    the file there without an error. A carriage return at the end of a line is dropped. The steps are the tokens after
   the colon split at every space: a token holding a lowercase "x" is a rest, any other must be a number from 1 to 125
   (to highestNote).
   A bad token or a 65th step makes the whole file invalid, with the error text shown to the user ("Bad file format on
   line: 3 token: 17", "Sequence number: 2 is longer than 64").
*/
SequenceFileContent parseSequenceFile (std::string_view text, int highestNote = highestNoteInFiles);

/** The loader's error for a bad token: "Bad file format on line: 3 token: 17". */
juce::String badFileFormatError (int line, int token);

/** The integer at the start of the text: leading white space, an optional sign, then the
    decimal digits up to the first other character; 0 when no digit follows. Values beyond
    the int range are held at its ends.
*/
int parseLeadingInteger (std::string_view text) noexcept;

} // namespace tarnovelle
