#include "link/LinkMessage.h"

#include "sequences/SequenceFile.h"

#include <map>

namespace tarnovelle
{

namespace
{
    constexpr const char* typeNames[] = { "hello",    "take",   "send",  "compare", "open",
                                          "progress", "result", "error", "cancel" };
    constexpr const char* errorNames[] = { "none", "version", "malformed",   "oversized", "flood",
                                           "busy", "absent",  "interrupted", "failed" };

    template <typename Enum, size_t size>
    std::optional<Enum> findName (const char* const (&names)[size], const juce::String& name)
    {
        for (size_t i = 0; i < size; ++i)
            if (name == names[i])
                return (Enum) i;

        return std::nullopt;
    }

    /** A whole decimal number from 0 to `highest`, written without sign or leading zero. */
    std::optional<juce::int64> parseNumber (const juce::String& text, juce::int64 highest)
    {
        if (text.isEmpty() || text.length() > 10 || ! text.containsOnly ("0123456789")
            || (text.length() > 1 && text[0] == '0'))
            return std::nullopt;

        const auto value = text.getLargeIntValue();
        return value <= highest ? std::optional<juce::int64> (value) : std::nullopt;
    }

    /** The fields of one message, as the decoder collects them. */
    struct Fields
    {
        std::map<juce::String, juce::String> single;
        juce::StringArray sequenceLines, settingLines, lines;
    };

    void addSet (juce::StringArray& out, const KeptSet& set)
    {
        for (int index = 0; index < numSequences; ++index)
            out.add ("seq " + formatSequenceLine (index + 1, set.sequences[(size_t) index].data()));

        for (auto& info : getDeviceSettingTable())
            if (const auto& value = set.settings[(size_t) info.setting])
                out.add ("setting " + juce::String (info.code) + " " + juce::String (*value));
    }

    bool readSettings (const juce::StringArray& settingLines, KeptSet& set, juce::String& problem)
    {
        for (auto& line : settingLines)
        {
            const auto code = line.upToFirstOccurrenceOf (" ", false, false);
            const auto* info = findDeviceSettingByCode (code);
            const auto value = parseNumber (line.fromFirstOccurrenceOf (" ", false, false), 127);

            if (info == nullptr || ! value.has_value())
                return (problem = "bad setting: " + line.substring (0, 40)), false;

            auto& slot = set.settings[(size_t) info->setting];

            if (slot.has_value())
                return (problem = "setting given twice: " + code), false;

            slot = (uint8) *value;
        }

        return true;
    }

    std::optional<KeptSet> readSet (const Fields& fields, juce::String& problem)
    {
        if (fields.sequenceLines.isEmpty() && fields.settingLines.isEmpty())
            return std::nullopt;

        // The eight lines are a .tvseq file, read by the same reader as one, with the
        // instrument's whole range of notes.
        const auto content =
            parseSequenceFile (fields.sequenceLines.joinIntoString ("\n").toStdString(), highestInstrumentNote);
        KeptSet set;
        bool seen[numSequences] = {};

        if (! content.isValid() || content.stopLine != 0 || content.sequences.size() != (size_t) numSequences)
            return (problem = "a set needs its eight sequences"), std::nullopt;

        for (auto& sequence : content.sequences)
        {
            if (std::exchange (seen[sequence.number - 1], true))
                return (problem = "sequence given twice: " + juce::String (sequence.number)), std::nullopt;

            std::copy (sequence.steps.begin(), sequence.steps.end(),
                       set.sequences[(size_t) sequence.number - 1].begin());
        }

        if (! readSettings (fields.settingLines, set, problem))
            return std::nullopt;

        return set;
    }

    bool collectFields (const juce::StringArray& textLines, Fields& fields, juce::String& problem)
    {
        for (int i = 1; i < textLines.size(); ++i)
        {
            const auto& line = textLines[i];
            const auto name = line.upToFirstOccurrenceOf (" ", false, false);
            const auto value = line.fromFirstOccurrenceOf (" ", false, false);

            if (name == "seq")
                fields.sequenceLines.add (value);
            else if (name == "setting")
                fields.settingLines.add (value);
            else if (name == "line")
                fields.lines.add (value);
            else if (! fields.single.emplace (name, value).second)
                return (problem = "field given twice: " + name.substring (0, 20)), false;
        }

        if (fields.sequenceLines.size() > numSequences || fields.settingLines.size() > numDeviceSettings
            || fields.lines.size() > maxLinkMessageLines)
            return (problem = "too many fields"), false;

        return true;
    }

    /** The fields each message has, and which of them it needs. */
    bool readFields (LinkMessage& message, Fields& fields, juce::String& problem)
    {
        auto take = [&fields] (const char* name) {
            auto found = fields.single.find (name);

            if (found == fields.single.end())
                return std::optional<juce::String>();

            auto value = found->second;
            fields.single.erase (found);
            return std::optional<juce::String> (value);
        };

        using Type = LinkMessage::Type;
        const auto type = message.type;

        if (type == Type::hello)
        {
            const auto versions = take ("versions").value_or ("");
            const auto low = parseNumber (versions.upToFirstOccurrenceOf (" ", false, false), 1000);
            const auto high = parseNumber (versions.fromFirstOccurrenceOf (" ", false, false), 1000);

            if (! low.has_value() || ! high.has_value() || *low > *high)
                return (problem = "a hello needs its versions"), false;

            message.lowestVersion = (int) *low;
            message.highestVersion = (int) *high;
            message.peerName = take ("peer").value_or ("");
        }
        else if (type == Type::progress)
        {
            const auto counts = take ("progress").value_or ("");
            const auto done = parseNumber (counts.upToFirstOccurrenceOf (" ", false, false), 1000);
            const auto total = parseNumber (counts.fromFirstOccurrenceOf (" ", false, false), 1000);

            if (! done.has_value() || ! total.has_value() || *done > *total)
                return (problem = "a progress needs its counts"), false;

            message.done = (int) *done;
            message.total = (int) *total;
        }
        else if (type == Type::error)
        {
            const auto error = findName<LinkMessage::Error> (errorNames, take ("error").value_or (""));

            if (! error.has_value() || *error == LinkMessage::Error::none)
                return (problem = "an error needs its kind"), false;

            message.error = *error;
        }

        if (auto differs = take ("differs"))
        {
            if (type != Type::result || (*differs != "0" && *differs != "1"))
                return (problem = "bad differs"), false;

            message.differs = *differs == "1";
        }

        message.text = take ("text").value_or ("");
        message.lines = fields.lines;

        if (! fields.single.empty())
            return (problem = "unknown field: " + fields.single.begin()->first.substring (0, 20)), false;

        message.set = readSet (fields, problem);

        if (problem.isNotEmpty())
            return false;

        const bool needsSet = type == Type::send || type == Type::compare || type == Type::openInEditor;

        if (needsSet && ! message.set.has_value())
            return (problem = "the request needs a set"), false;

        return true;
    }
} // namespace

const char* LinkMessage::getTypeName (Type type) noexcept { return typeNames[(size_t) type]; }
const char* LinkMessage::getErrorName (Error error) noexcept { return errorNames[(size_t) error]; }

LinkMessage LinkMessage::makeError (juce::uint32 requestId, Error error, const juce::String& text)
{
    LinkMessage message;
    message.type = Type::error;
    message.requestId = requestId;
    message.error = error;
    message.text = text;
    return message;
}

juce::MemoryBlock encodeLinkMessage (const LinkMessage& message)
{
    using Type = LinkMessage::Type;
    // Text fields are one line each: a line feed inside one would start a field of its own.
    auto oneLine = [] (const juce::String& text) { return text.replaceCharacters ("\r\n", "  "); };

    juce::StringArray out;
    out.add (juce::String (LinkMessage::getTypeName (message.type)) + " " + juce::String (message.requestId));

    if (message.type == Type::hello)
    {
        out.add ("versions " + juce::String (message.lowestVersion) + " " + juce::String (message.highestVersion));

        if (message.peerName.isNotEmpty())
            out.add ("peer " + oneLine (message.peerName));
    }

    if (message.type == Type::progress)
        out.add ("progress " + juce::String (message.done) + " " + juce::String (message.total));

    if (message.type == Type::error)
        out.add (juce::String ("error ") + LinkMessage::getErrorName (message.error));

    if (message.type == Type::result && message.differs)
        out.add ("differs 1");

    if (message.set.has_value())
        addSet (out, *message.set);

    for (int i = 0; i < juce::jmin (message.lines.size(), maxLinkMessageLines); ++i)
        out.add ("line " + oneLine (message.lines[i]));

    if (message.text.isNotEmpty())
        out.add ("text " + oneLine (message.text));

    const auto text = out.joinIntoString ("\n");
    return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
}

std::optional<LinkMessage> decodeLinkMessage (const void* data, size_t size, juce::String& problem)
{
    problem.clear();
    const auto* chars = static_cast<const char*> (data);

    if (size > (size_t) maxLinkMessageBytes)
        return (problem = "message too large"), std::nullopt;

    if (size == 0 || std::memchr (chars, 0, size) != nullptr || std::memchr (chars, '\r', size) != nullptr
        || ! juce::CharPointer_UTF8::isValidString (chars, (int) size))
        return (problem = "not a text message"), std::nullopt;

    const auto textLines = juce::StringArray::fromLines (juce::String::fromUTF8 (chars, (int) size));
    const auto head = juce::StringArray::fromTokens (textLines[0], " ", "");
    const auto type = findName<LinkMessage::Type> (typeNames, head[0]);
    const auto id = parseNumber (head[1], 0xffffffffLL);

    if (head.size() != 2 || ! type.has_value() || ! id.has_value())
        return (problem = "unknown message: " + textLines[0].substring (0, 40)), std::nullopt;

    LinkMessage message;
    message.type = *type;
    message.requestId = (juce::uint32) *id;
    Fields fields;

    if (! collectFields (textLines, fields, problem) || ! readFields (message, fields, problem))
        return std::nullopt;

    return message;
}

} // namespace tarnovelle
