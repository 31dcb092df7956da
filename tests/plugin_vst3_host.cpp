// The VST3 bundle in JUCE's own VST3 host: it loads, says who it is, reports no latency, gives
// back the audio and MIDI it is handed unchanged, and a second instance takes the first one's
// saved state as the host hands it over.

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

namespace
{
std::unique_ptr<juce::AudioPluginInstance> loadRecall (juce::VST3PluginFormat& format)
{
    // The bundle holds the library in Contents/x86_64-linux.
    const auto bundle =
        juce::File (TARNOVELLE_RECALL_VST3_LIBRARY).getParentDirectory().getParentDirectory().getParentDirectory();
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, bundle.getFullPathName());

    if (found.size() != 1)
        return nullptr;

    juce::String error;
    auto instance = format.createInstanceFromDescription (*found[0], 48000.0, 256, error);
    EXPECT_TRUE (error.isEmpty()) << error;
    return instance;
}
} // namespace

TEST (RecallInJuceVst3Host, PassesEverythingThroughAndHandsItsStateOver)
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    juce::VST3PluginFormat format;
    auto recall = loadRecall (format);
    ASSERT_NE (recall, nullptr);
    EXPECT_EQ (recall->getName(), "Tarnovelle Recall");
    EXPECT_TRUE (recall->acceptsMidi());
    EXPECT_TRUE (recall->producesMidi());

    recall->enableAllBuses();
    recall->prepareToPlay (48000.0, 256);
    EXPECT_EQ (recall->getLatencySamples(), 0);
    EXPECT_EQ (recall->getTotalNumInputChannels(), 2);

    juce::Random random (7);
    juce::AudioBuffer<float> buffer (2, 256);

    for (int channel = 0; channel < 2; ++channel)
        for (int sample = 0; sample < 256; ++sample)
            buffer.setSample (channel, sample, random.nextFloat() * 2.0f - 1.0f);

    const juce::AudioBuffer<float> sent (buffer);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (3, 60, (juce::uint8) 100), 17);
    midi.addEvent (juce::MidiMessage::controllerEvent (3, 7, 90), 200);

    recall->processBlock (buffer, midi);

    for (int channel = 0; channel < 2; ++channel)
        for (int sample = 0; sample < 256; ++sample)
            ASSERT_EQ (buffer.getSample (channel, sample), sent.getSample (channel, sample))
                << channel << " " << sample;

    std::vector<std::pair<int, juce::MidiMessage>> received;

    for (const auto metadata : midi)
        received.emplace_back (metadata.samplePosition, metadata.getMessage());

    // VST3 carries controllers as parameter changes, which JUCE's host hands over at the
    // block's start: the note keeps its place, the controller its value.
    auto find = [&received] (auto&& matches) {
        return std::find_if (received.begin(), received.end(), [&] (auto& event) { return matches (event.second); });
    };
    const auto note = find ([] (auto& m) { return m.isNoteOn() && m.getNoteNumber() == 60 && m.getChannel() == 3; });
    const auto volume = find ([] (auto& m) { return m.isControllerOfType (7) && m.getControllerValue() == 90; });
    EXPECT_EQ (received.size(), 2u);
    ASSERT_NE (note, received.end());
    EXPECT_EQ (note->first, 17);
    EXPECT_NE (volume, received.end());
    recall->releaseResources();

    // The state goes from one instance to another through the host, as a project saves and opens.
    juce::MemoryBlock saved, again;
    recall->getStateInformation (saved);
    auto second = loadRecall (format);
    ASSERT_NE (second, nullptr);
    second->setStateInformation (saved.getData(), (int) saved.getSize());
    second->getStateInformation (again);
    EXPECT_EQ (saved, again);
}
