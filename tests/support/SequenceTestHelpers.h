#pragma once

#include <gtest/gtest.h>
#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace tarnovelle::test
{

/** One note event of a MIDI file, as the file holds it. */
struct NoteEvent
{
    int status, key, velocity, tick;

    bool operator== (const NoteEvent& o) const
    {
        return status == o.status && key == o.key && velocity == o.velocity && tick == o.tick;
    }
};

/** Reads back a one-track format-1 file of 192 ticks per quarter note, checking that layout. */
inline std::vector<NoteEvent> readNoteEvents (const juce::MemoryBlock& data)
{
    juce::MemoryInputStream in (data, false);
    juce::MidiFile file;
    int type = -1;
    EXPECT_TRUE (file.readFrom (in, true, &type));
    EXPECT_EQ (type, 1);
    EXPECT_EQ (file.getTimeFormat(), 192);
    EXPECT_EQ (file.getNumTracks(), 1);

    std::vector<NoteEvent> events;

    if (file.getNumTracks() == 1)
        for (auto* e : *file.getTrack (0))
            if (!e->message.isEndOfTrackMetaEvent())
                events.push_back ({ e->message.getRawData()[0], e->message.getNoteNumber(), e->message.getVelocity(),
                                    (int) e->message.getTimeStamp() });

    return events;
}

inline std::vector<NoteEvent> readNoteEvents (const juce::File& file)
{
    juce::MemoryBlock data;
    EXPECT_TRUE (file.loadFileAsData (data)) << file.getFullPathName();
    return readNoteEvents (data);
}

} // namespace tarnovelle::test
