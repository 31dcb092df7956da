// MIDI import: any file is refused with a reason, or gives its tracks as the import window
// lists them and, for any choice of tracks, channels and start bar, a sequence the instrument
// can hold, which exported at the same step size imports back unchanged.

#include "fuzz/FuzzTarget.h"
#include "sequences/MidiExport.h"
#include "sequences/MidiTracks.h"

namespace tarnovelle::fuzz
{
void checkTrackList (const juce::MidiFile& file, const std::vector<MidiTrackSummary>& tracks)
{
    TARNOVELLE_FUZZ_CHECK (tracks.size() == (size_t) file.getNumTracks());

    for (size_t i = 0; i < tracks.size(); ++i)
    {
        const auto& track = tracks[i];
        TARNOVELLE_FUZZ_CHECK (track.number == (int) i + 1);
        TARNOVELLE_FUZZ_CHECK (track.channels.empty() == (track.noteCount == 0));
        TARNOVELLE_FUZZ_CHECK (track.channels.empty()
                               || (*track.channels.begin() >= 1 && *track.channels.rbegin() <= 16));
        TARNOVELLE_FUZZ_CHECK (! track.name.startsWithChar (' ') && ! track.name.endsWithChar (' '));

        for (auto character : track.name)
            TARNOVELLE_FUZZ_CHECK (character >= 0x20 && character != 0x7f);

        TARNOVELLE_FUZZ_CHECK (describeChannels (track.channels).isNotEmpty());
    }
}

/** The choice the input's parameter bytes make, as the import window or tarnovelle-seq would. */
MidiImportChoice choiceFrom (const uint8* header, const std::vector<MidiTrackSummary>& tracks, int bars)
{
    const int stepSize = 4 << (header[0] & 3);
    auto choice =
        (header[0] & 4) != 0 ? chooseFirstMelodicTrack (tracks, stepSize) : MidiImportChoice::everything (stepSize);
    TARNOVELLE_FUZZ_CHECK (! choice.tracks || choice.tracks->empty()
                           || *choice.tracks->rbegin() <= (int) tracks.size());
    const auto chosen = [] (int mask) {
        std::set<int> numbers;
        for (int bit = 0; bit < 16; ++bit)
            if ((mask & (1 << bit)) != 0)
                numbers.insert (bit + 1);
        return numbers;
    };

    if ((header[0] & 8) != 0)
        choice.tracks = chosen (header[1] | header[2] << 8);

    if ((header[0] & 16) != 0)
        choice.channels = chosen (header[3] | header[4] << 8);

    // The window offers the bars the notes reach into; the command line takes up to 65535.
    const int lastBar = (header[0] & 32) != 0 ? bars : 65535;
    choice.fromBar = 1 + (header[5] | header[6] << 8) % lastBar;
    return choice;
}

void checkSequence (const MidiImportResult& result, int stepSize, int gateLength)
{
    if (! result.isValid())
    {
        TARNOVELLE_FUZZ_CHECK (result.steps.empty());
        return;
    }

    TARNOVELLE_FUZZ_CHECK (result.steps.size() <= (size_t) maxSequenceSteps && result.droppedNotes >= 0);

    StepBuffer steps{};
    for (size_t i = 0; i < result.steps.size(); ++i)
    {
        steps[i] = result.steps[i];
        TARNOVELLE_FUZZ_CHECK ((steps[i] >= 1 && steps[i] <= 125) || steps[i] == restStep);
    }

    const auto exported =
        makeSequenceMidiFile (steps.data(), MidiExportTiming::fromSettings ((uint8) stepSize, (uint8) gateLength));
    juce::MemoryInputStream stream (exported, false);
    const auto again = importMidiSequence (stream, stepSize);
    TARNOVELLE_FUZZ_CHECK (again.isValid() && again.steps == result.steps && again.droppedNotes == 0);
}
} // namespace tarnovelle::fuzz

// Input: seven parameter bytes, then the file. Byte 0: bits 0-1 the step size (1/4 to 1/32),
// bit 2 start from the choice the window offers first, bits 3 and 4 choose the tracks and the
// channels of bytes 1-2 and 3-4 (bit n: number n + 1), bit 5 count the start bar (bytes 5-6)
// within the bars the notes reach, not the command line's range; bits 6-7 the gate length of
// the export.
TARNOVELLE_FUZZ_TARGET (fuzzMidiImport, 7, 0)
{
    juce::MemoryInputStream stream (bytes, (size_t) count, false);
    juce::MidiFile file;

    if (readMidiFile (stream, file).isNotEmpty())
        return;

    const auto tracks = summariseMidiTracks (file);
    checkTrackList (file, tracks);
    const int bars = countBars (file);
    TARNOVELLE_FUZZ_CHECK (bars >= 1);

    const auto choice = choiceFrom (header, tracks, bars);
    checkSequence (importMidiSequence (file, choice), choice.stepSize, 1 + (header[0] >> 6) % 3);
}
