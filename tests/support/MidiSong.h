#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace tarnovelle::test
{

/** A small song laid out as real files are: track 1 "Conductor" (3/4 time, a tempo, no notes),
    track 2 "Drums" (a hi-hat, note 42, on channel 10 every second 16th from step 0 to 22),
    track 3 "Bass" on channel 2 (28, 31, 33 | 35, 36 on steps 0, 3, 6 | 12, 15, two steps each)
    with a pad note 40 on channel 3 at step 9. 96 ticks per quarter note: a 16th step is 24
    ticks and a bar 12 steps. Merged whole, the hi-hat outplays the bass.
*/
inline juce::MidiFile makeSong()
{
    constexpr double step = 24.0;
    juce::MidiFile file;
    file.setTicksPerQuarterNote (96);

    juce::MidiMessageSequence conductor;
    conductor.addEvent (juce::MidiMessage::textMetaEvent (3, "Conductor"), 0);
    conductor.addEvent (juce::MidiMessage::timeSignatureMetaEvent (3, 4), 0);
    conductor.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0);
    file.addTrack (conductor);

    juce::MidiMessageSequence drums;
    drums.addEvent (juce::MidiMessage::textMetaEvent (3, "Drums"), 0);

    for (int s = 0; s <= 22; s += 2)
    {
        drums.addEvent (juce::MidiMessage::noteOn (10, 42, (juce::uint8) 100), s * step);
        drums.addEvent (juce::MidiMessage::noteOff (10, 42), s * step + 12);
    }

    file.addTrack (drums);

    juce::MidiMessageSequence bass;
    bass.addEvent (juce::MidiMessage::textMetaEvent (3, "Bass"), 0);

    for (auto [s, note] : { std::pair{ 0, 28 }, { 3, 31 }, { 6, 33 }, { 12, 35 }, { 15, 36 } })
    {
        bass.addEvent (juce::MidiMessage::noteOn (2, note, (juce::uint8) 90), s * step);
        bass.addEvent (juce::MidiMessage::noteOff (2, note), s * step + 2 * step);
    }

    bass.addEvent (juce::MidiMessage::noteOn (3, 40, (juce::uint8) 60), 9 * step);
    bass.addEvent (juce::MidiMessage::noteOff (3, 40), 10 * step);
    bass.updateMatchedPairs();
    file.addTrack (bass);
    return file;
}

/** The song as its file's bytes. */
inline juce::MemoryBlock makeSongFile()
{
    juce::MemoryOutputStream out;
    makeSong().writeTo (out, 1);
    return out.getMemoryBlock();
}

} // namespace tarnovelle::test
