#pragma once

#include "RecallLinkWorker.h"
#include "link/RecallState.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace tarnovelle
{

/** Tarnovelle Recall: keeps a set of the instrument with the host's project and passes audio
    and MIDI through untouched, with no latency. The audio thread does nothing else but note
    whether the host's transport runs; everything that talks to the program runs on the link's
    own thread.
*/
class RecallProcessor final : public juce::AudioProcessor
{
public:
    RecallProcessor();
    ~RecallProcessor() override;

    //==============================================================================
    void prepareToPlay (double, int) override {}
    void releaseResources() override {}
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    void processBlock (juce::AudioBuffer<double>& buffer, juce::MidiBuffer& midi) override;
    bool supportsDoublePrecisionProcessing() const override { return true; }

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    const juce::String getName() const override { return "Tarnovelle Recall"; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return true; }
    double getTailLengthSeconds() const override { return 0.0; }

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    RecallState getState() const;
    void setOptions (bool compareOnOpen, bool sendOnOpen);

    /** Why the project's saved state was not loaded, or "" when it was. */
    juce::String getStateProblem() const;

    RecallLinkWorker& getLink() noexcept { return link; }

private:
    template <typename Sample>
    void passThrough (juce::AudioBuffer<Sample>& buffer);

    mutable juce::CriticalSection stateLock;
    RecallState state;
    juce::String stateProblem;

    /** A state this version could not read, given back unchanged to the host when it saves, so
        that opening a project in an older plug-in does not lose the newer one's set.
    */
    juce::MemoryBlock unreadState;

    std::atomic<bool> transportRunning{ false };
    RecallLinkWorker link;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecallProcessor)
};

} // namespace tarnovelle
