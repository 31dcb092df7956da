#include "link/RecallState.h"

#include "sequences/SequenceFile.h"

namespace tarnovelle
{

namespace
{
    const char* rootTag = "TarnovelleRecall";

    /** Far above any state this plug-in writes (about 2 KB), far below what could hurt. */
    constexpr size_t maxStateBytes = 1 << 20;

    std::optional<KeptSet> readSet (const juce::XmlElement& element, juce::String& problem)
    {
        const auto content = parseSequenceFile (element.getChildElementAllSubText ("Sequences", {}).toStdString(),
                                                highestInstrumentNote);
        KeptSet set;

        if (! content.isValid() || content.sequences.size() != (size_t) numSequences)
            return (problem = "its sequences are damaged"), std::nullopt;

        for (auto& sequence : content.sequences)
            std::copy (sequence.steps.begin(), sequence.steps.end(),
                       set.sequences[(size_t) sequence.number - 1].begin());

        for (auto* setting : element.getChildWithTagNameIterator ("Setting"))
        {
            const auto* info = findDeviceSettingByCode (setting->getStringAttribute ("code"));
            const auto value = setting->getIntAttribute ("value", -1);

            if (info == nullptr || value < 0 || value > 127)
                return (problem = "a setting is damaged"), std::nullopt;

            set.settings[(size_t) info->setting] = (uint8) value;
        }

        return set;
    }
} // namespace

juce::MemoryBlock saveRecallState (const RecallState& state)
{
    juce::XmlElement root (rootTag);
    root.setAttribute ("version", RecallState::version);
    root.setAttribute ("compareOnOpen", state.compareOnOpen);
    root.setAttribute ("sendOnOpen", state.sendOnOpen);

    if (state.set.has_value())
    {
        auto* set = root.createNewChildElement ("Set");
        set->createNewChildElement ("Sequences")->addTextElement (formatSequenceFile (state.set->sequences));

        for (auto& info : getDeviceSettingTable())
        {
            if (const auto value = state.set->settings[(size_t) info.setting])
            {
                auto* setting = set->createNewChildElement ("Setting");
                setting->setAttribute ("code", info.code);
                setting->setAttribute ("value", (int) *value);
            }
        }
    }

    const auto text = root.toString (juce::XmlElement::TextFormat().singleLine());
    return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
}

RecallStateRead loadRecallState (const void* data, size_t size)
{
    const juce::String damaged ("The plug-in's saved state could not be read");

    if (size == 0 || size > maxStateBytes
        || ! juce::CharPointer_UTF8::isValidString (static_cast<const char*> (data), (int) size))
        return { std::nullopt, damaged + "." };

    const auto root = juce::parseXML (juce::String::fromUTF8 (static_cast<const char*> (data), (int) size));

    if (root == nullptr || ! root->hasTagName (rootTag) || root->getIntAttribute ("version") < 1)
        return { std::nullopt, damaged + "." };

    const int version = root->getIntAttribute ("version");

    if (version > RecallState::version)
        return { std::nullopt, "This project was saved by a newer Tarnovelle Recall (state version "
                                   + juce::String (version)
                                   + "). Its set is not loaded; update the plug-in to use it." };

    RecallState state;
    state.compareOnOpen = root->getBoolAttribute ("compareOnOpen");
    state.sendOnOpen = root->getBoolAttribute ("sendOnOpen");

    if (const auto* set = root->getChildByName ("Set"))
    {
        juce::String problem;
        state.set = readSet (*set, problem);

        if (! state.set.has_value())
            return { std::nullopt, damaged + ": " + problem + "." };
    }

    return { state, {} };
}

} // namespace tarnovelle
