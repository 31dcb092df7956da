#include "sequences/MidiTracks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnovelle
{

namespace
{
    constexpr int trackNameMetaType = 0x03;
    constexpr int timeSignatureMetaType = 0x58;

    /** Names are written in whatever encoding the writer's software used: UTF-8 when they read
        as such, otherwise taken as Latin-1, each byte one character.
    */
    juce::String decodeName (const uint8* data, int size)
    {
        // Some writers end a name with a 0 byte, as a C string; the name ends there.
        size = (int) (std::find (data, data + size, 0) - data);
        juce::String name;

        if (juce::CharPointer_UTF8::isValidString (reinterpret_cast<const char*> (data), size))
            name = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), size);
        else
            for (int i = 0; i < size; ++i)
                name += (juce::juce_wchar) data[i];

        // On one line: control characters become spaces.
        juce::String oneLine;

        for (auto character : name)
            oneLine += (character < 0x20 || character == 0x7f) ? (juce::juce_wchar) ' ' : character;

        return oneLine.trimCharactersAtStart (" ").trimCharactersAtEnd (" ");
    }

    juce::String trackName (const juce::MidiMessageSequence& track)
    {
        for (const auto* event : track)
            if (event->message.isMetaEvent() && event->message.getMetaEventType() == trackNameMetaType)
                return decodeName (event->message.getMetaEventData(), event->message.getMetaEventLength());

        return {};
    }

    juce::int64 tickOf (const juce::MidiMessage& message) noexcept
    {
        return (juce::int64) std::llround (message.getTimeStamp());
    }
} // namespace

bool MidiTrackSummary::isMelodic() const
{
    return std::any_of (channels.begin(), channels.end(), [] (int c) { return c != percussionChannel; });
}

TimeSignature getFirstTimeSignature (const juce::MidiFile& file)
{
    std::optional<std::pair<juce::int64, TimeSignature>> first;

    for (int t = 0; t < file.getNumTracks(); ++t)
    {
        for (const auto* event : *file.getTrack (t))
        {
            const auto& message = event->message;

            if (! message.isMetaEvent() || message.getMetaEventType() != timeSignatureMetaType
                || message.getMetaEventLength() < 2)
                continue;

            const auto* data = message.getMetaEventData();

            if (data[0] == 0 || data[1] > 6)
                continue;

            if (! first || tickOf (message) < first->first)
                first = std::make_pair (tickOf (message), TimeSignature{ data[0], 1 << data[1] });

            break; // a track's later signatures come later still
        }
    }

    return first ? first->second : TimeSignature{};
}

std::vector<MidiTrackSummary> summariseMidiTracks (const juce::MidiFile& file)
{
    std::vector<MidiTrackSummary> tracks;

    for (int t = 0; t < file.getNumTracks(); ++t)
    {
        MidiTrackSummary summary;
        summary.number = t + 1;
        summary.name = trackName (*file.getTrack (t));

        for (const auto* event : *file.getTrack (t))
        {
            if (event->message.isNoteOn (false))
            {
                ++summary.noteCount;
                summary.channels.insert (event->message.getChannel());
            }
        }

        tracks.push_back (summary);
    }

    return tracks;
}

int countBars (const juce::MidiFile& file)
{
    const juce::int64 ticksPerQuarterNote = file.getTimeFormat();

    if (ticksPerQuarterNote <= 0)
        return 1;

    juce::int64 lastStart = 0;

    for (int t = 0; t < file.getNumTracks(); ++t)
        for (const auto* event : *file.getTrack (t))
            if (event->message.isNoteOn (false))
                lastStart = juce::jmax (lastStart, tickOf (event->message));

    // A bar is n * 4q / d ticks. A note far out (a tick far beyond int, a bar of a 64th note)
    // counts as many bars as an int holds.
    const auto signature = getFirstTimeSignature (file);
    const auto bars = lastStart * signature.denominator / (signature.numerator * 4 * ticksPerQuarterNote) + 1;
    return (int) juce::jmin (bars, (juce::int64) std::numeric_limits<int>::max());
}

juce::String describeChannels (const std::set<int>& channels)
{
    if (channels.empty())
        return "none";

    juce::StringArray numbers;

    for (auto channel : channels)
        numbers.add (juce::String (channel));

    return numbers.joinIntoString (", ");
}

MidiImportChoice chooseFirstMelodicTrack (const std::vector<MidiTrackSummary>& tracks, int stepSize)
{
    auto choice = MidiImportChoice::everything (stepSize);
    const auto firstWith = [&tracks] (auto condition) {
        return std::find_if (tracks.begin(), tracks.end(), condition);
    };

    if (auto melodic = firstWith ([] (const auto& track) { return track.isMelodic(); }); melodic != tracks.end())
    {
        choice.tracks = std::set<int>{ melodic->number };
        choice.channels = std::set<int>();

        for (int channel = 1; channel <= 16; ++channel)
            if (channel != percussionChannel)
                choice.channels->insert (channel);
    }
    else if (auto withNotes = firstWith ([] (const auto& track) { return track.noteCount > 0; });
             withNotes != tracks.end())
    {
        choice.tracks = std::set<int>{ withNotes->number };
    }
    else if (! tracks.empty())
    {
        choice.tracks = std::set<int>{ tracks.front().number };
    }

    return choice;
}

} // namespace tarnovelle
