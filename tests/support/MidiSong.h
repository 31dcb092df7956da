#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace tarnovelle::test
{

/** Note events at ticks: a positive velocity starts a note, 0 is a note-on ending one, and
    a negative one is a note-off.
*/
struct Event
{
    double tick;
    int note;
    int velocity = 100;
    int channel = 1;
};

inline juce::MidiMessageSequence makeTrack (const std::vector<Event>& events)
{
    juce::MidiMessageSequence track;

    for (const auto& e : events)
    {
        auto message = e.velocity < 0 ? juce::MidiMessage::noteOff (e.channel, e.note, (juce::uint8) 64)
                                      : juce::MidiMessage::noteOn (e.channel, e.note, (juce::uint8) e.velocity);
        track.addEvent (message, e.tick);
    }

    return track;
}

/** A file of these tracks, as its bytes. */
inline juce::MemoryBlock makeMidiFile (const std::vector<std::vector<Event>>& tracks, int ticksPerQuarterNote,
                                       int format = 1)
{
    juce::MidiFile file;
    file.setTicksPerQuarterNote (ticksPerQuarterNote);

    for (const auto& track : tracks)
        file.addTrack (makeTrack (track));

    juce::MemoryOutputStream out;
    file.writeTo (out, format);
    return out.getMemoryBlock();
}

/** A small song laid out as real files are, at 96 ticks a quarter note (a 16th step is 24
    ticks, a bar of its 3/4 time 12 steps): track 1 "Conductor" with the time signature and no
    notes; track 2 "Drums", a hi-hat (42) on channel 10 every second step from 0 to 22; track 3
    "Bass" on channel 2 (28, 31, 33 | 35, 36 on steps 0, 3, 6 | 12, 15, two steps each) with a
    pad note 40 on channel 3 at step 9. Merged whole, the hi-hat outplays the bass.
*/
inline juce::MidiFile makeSong()
{
    juce::MidiMessageSequence tracks[3];
    const auto add = [&tracks] (int track, int channel, int note, int step, double steps) {
        tracks[track].addEvent (juce::MidiMessage::noteOn (channel, note, (juce::uint8) 90), step * 24.0);
        tracks[track].addEvent (juce::MidiMessage::noteOff (channel, note), (step + steps) * 24.0);
    };

    for (auto [track, name] : { std::pair{ 0, "Conductor" }, { 1, "Drums" }, { 2, "Bass" } })
        tracks[track].addEvent (juce::MidiMessage::textMetaEvent (3, name), 0);

    tracks[0].addEvent (juce::MidiMessage::timeSignatureMetaEvent (3, 4), 0);

    for (int step = 0; step <= 22; step += 2)
        add (1, 10, 42, step, 0.5);

    for (auto [step, note] : { std::pair{ 0, 28 }, { 3, 31 }, { 6, 33 }, { 12, 35 }, { 15, 36 } })
        add (2, 2, note, step, 2);

    add (2, 3, 40, 9, 1);
    juce::MidiFile file;
    file.setTicksPerQuarterNote (96);

    for (auto& track : tracks)
        file.addTrack (track);

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
