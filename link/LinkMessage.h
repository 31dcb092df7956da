#pragma once

#include "library/Snapshot.h"

namespace tarnovelle
{

/** A set of the instrument's state that a plug-in keeps with a project: the eight sequences
    and the settings that were known when it was taken.
*/
struct KeptSet
{
    SequenceSet sequences{};
    Snapshot::Settings settings{};

    bool operator== (const KeptSet& other) const noexcept
    {
        return sequences == other.sequences && settings == other.settings;
    }
};

/** The messages that go between the program and its plug-ins, each in one frame.

    A client opens with a hello naming the lowest and highest versions of the link it speaks;
    the program answers with a hello naming the version chosen and itself, or with an error.
    Every later request (take, send, compare, openInEditor) carries a number the client picks,
    and the program answers it with any number of progress messages, then one result or one
    error carrying the same number. A cancel with that number asks the program to stop the
    request at the next sequence; the answer then is an "interrupted" error.

    On the wire a message is UTF-8 text, one field a line: the first line is the message's
    name and its number ("take 7"), each further line a field's name, a space and its value.
    A sequence is one line of the .tvseq format ("seq 4:60 48 x 72").
*/
struct LinkMessage
{
    enum class Type
    {
        hello,
        take,
        send,
        compare,
        openInEditor,
        progress,
        result,
        error,
        cancel
    };

    /** Why a request was refused or did not complete. */
    enum class Error
    {
        none,
        version,
        malformed,
        oversized,
        flood,
        busy,
        absent,
        interrupted,
        failed
    };

    Type type = Type::hello;
    juce::uint32 requestId = 0;

    // hello
    int lowestVersion = 0;
    int highestVersion = 0;
    juce::String peerName;

    // send and openInEditor requests, take's result; compare's request holds the set to compare
    std::optional<KeptSet> set;

    // progress
    int done = 0;
    int total = 0;

    // compare's result: whether anything differs, and one line per difference
    bool differs = false;
    juce::StringArray lines;

    // error, and a result's words for the user
    Error error = Error::none;
    juce::String text;

    static LinkMessage makeError (juce::uint32 requestId, Error error, const juce::String& text);

    static const char* getTypeName (Type type) noexcept;
    static const char* getErrorName (Error error) noexcept;
};

/** The version of the link this build speaks, and the oldest it still understands. */
constexpr int linkVersion = 1;
constexpr int oldestLinkVersion = 1;

/** The largest message, in bytes, either end sends or accepts. */
constexpr int maxLinkMessageBytes = 16384;

/** The most difference lines a compare result carries. */
constexpr int maxLinkMessageLines = 64;

/** The message as its frame's payload. */
juce::MemoryBlock encodeLinkMessage (const LinkMessage& message);

/** Reads a payload. Anything that is not exactly one well-formed message (unknown names,
    a field twice or out of its range, an incomplete set, text that is not UTF-8) gives no
    message, and `problem` says what was wrong.
*/
std::optional<LinkMessage> decodeLinkMessage (const void* data, size_t size, juce::String& problem);

} // namespace tarnovelle
