#include "RecallProcessor.h"

#include "RecallEditor.h"

namespace tarnovelle
{

RecallProcessor::RecallProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
    , link ({ [this] { return getState().set; },
              [this] (const KeptSet& set) {
                  const juce::ScopedLock sl (stateLock);
                  state.set = set;
                  stateProblem.clear();
                  unreadState.reset();
              },
              [this] { return transportRunning.load (std::memory_order_relaxed); } })
{}

RecallProcessor::~RecallProcessor() = default;

bool RecallProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    // What comes in goes out: the same channels on both sides.
    return layouts.getMainInputChannelSet() == layouts.getMainOutputChannelSet()
           && ! layouts.getMainOutputChannelSet().isDisabled();
}

template <typename Sample>
void RecallProcessor::passThrough (juce::AudioBuffer<Sample>& buffer)
{
    // The host hands the input in the output's buffer: leaving it is passing it through. Only
    // outputs without an input of their own are silenced.
    for (int channel = getTotalNumInputChannels(); channel < getTotalNumOutputChannels(); ++channel)
        buffer.clear (channel, 0, buffer.getNumSamples());

    if (auto* playHead = getPlayHead())
        if (const auto position = playHead->getPosition())
            transportRunning.store (position->getIsPlaying(), std::memory_order_relaxed);
}

void RecallProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) { passThrough (buffer); }
void RecallProcessor::processBlock (juce::AudioBuffer<double>& buffer, juce::MidiBuffer&) { passThrough (buffer); }

juce::AudioProcessorEditor* RecallProcessor::createEditor() { return new RecallEditor (*this); }

void RecallProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const juce::ScopedLock sl (stateLock);
    destData = unreadState.isEmpty() ? saveRecallState (state) : unreadState;
}

void RecallProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto read = loadRecallState (data, (size_t) juce::jmax (0, sizeInBytes));
    RecallState loaded;

    {
        const juce::ScopedLock sl (stateLock);
        stateProblem = read.problem;

        if (read.state.has_value())
        {
            state = *read.state;
            unreadState.reset();
        }
        else
        {
            state = {};
            unreadState.replaceAll (data, (size_t) juce::jmax (0, sizeInBytes));
        }

        loaded = state;
    }

    // A project that opens sends nothing unless the user asked for it; a comparison only reads,
    // and waits for the program when it is not running yet.
    if (loaded.set.has_value() && loaded.sendOnOpen)
        link.request (RecallLinkWorker::Job::send);
    else if (loaded.set.has_value() && loaded.compareOnOpen)
        link.compareWhenLinked();
}

RecallState RecallProcessor::getState() const
{
    const juce::ScopedLock sl (stateLock);
    return state;
}

void RecallProcessor::setOptions (bool compareOnOpen, bool sendOnOpen)
{
    const juce::ScopedLock sl (stateLock);
    state.compareOnOpen = compareOnOpen;
    state.sendOnOpen = sendOnOpen;
}

juce::String RecallProcessor::getStateProblem() const
{
    const juce::ScopedLock sl (stateLock);
    return stateProblem;
}

} // namespace tarnovelle

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new tarnovelle::RecallProcessor(); }
