#include "app/HWDetector.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"
#include "protocol/SysexMessage.h"

#include <cstdio>
#include <vector>

namespace tarnovelle
{

namespace
{
    /** The expected identity and the results of the last detection. */
    struct DetectionState
    {
        std::mutex mutex;
        uint8 expectedFamily[2]{ 0x04, 0x00 };
        uint8 expectedMember[2]{ 0x02, 0x01 };
        uint8 firmwareVersion[4]{};
        int inputIndex = -1;
        int outputIndex = -1;
        bool found = false;
    };

    DetectionState& getDetectionState()
    {
        static DetectionState state;
        return state;
    }

    juce::CriticalSection& getDetectionLock()
    {
        static juce::CriticalSection lock;
        return lock;
    }

    // The instrument answers with device ID 7F (all devices) or with its own ID, which is 01.
    constexpr uint8 ownDeviceId = 0x01;
    constexpr uint8 allDevicesId = 0x7f;
    constexpr int identityReplySize = 17;
    constexpr int attemptsPerOutput = 5;
    constexpr int waitsPerAttempt = 10;
    constexpr int waitSliceMs = 100;
    // A port that has just appeared is asked once; an instrument answers within milliseconds.
    constexpr int appearedPortReplyWaitMs = 1000;

    bool identityMatches (const juce::uint8* bytes)
    {
        auto& state = getDetectionState();
        const std::lock_guard<std::mutex> lock (state.mutex);

        const bool matches = isMakerId (bytes + 5) && bytes[8] == state.expectedFamily[0]
                             && bytes[9] == state.expectedFamily[1] && bytes[10] == state.expectedMember[0]
                             && bytes[11] == state.expectedMember[1];

        if (matches)
            std::copy (bytes + 12, bytes + 16, state.firmwareVersion);

        return matches;
    }
} // namespace

//==============================================================================
void HWDetector::MidiCallback::reset()
{
    const std::lock_guard<std::mutex> lock (mutex);
    deviceId = 0xff;
    source = nullptr;
    received.store (false, std::memory_order_release);
}

void HWDetector::MidiCallback::stopListening()
{
    const std::lock_guard<std::mutex> lock (mutex);
    received.store (true, std::memory_order_release);
}

uint8 HWDetector::MidiCallback::getDeviceId() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return deviceId;
}

MidiInputPort* HWDetector::MidiCallback::getSource() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return source;
}

void HWDetector::MidiCallback::handleIncomingMidiMessage (MidiInputPort* from, const juce::MidiMessage& message)
{
    if (hasReceived() || ! message.isSysEx())
        return;

    examine (from, message);
}

void HWDetector::MidiCallback::examine (MidiInputPort* from, const juce::MidiMessage& message)
{
    const auto* bytes = message.getRawData();
    const auto size = message.getRawDataSize();

    if (size < 5 || bytes[4] != 0x02)
        return;

    const std::lock_guard<std::mutex> lock (mutex);

    if (received.load (std::memory_order_acquire))
        return;

    if (size > 11)
        std::printf ("Device family member2 : %i !\n", (int) bytes[11]);

    // A reply too short to hold the whole identity is one that does not match.
    if (size >= identityReplySize && identityMatches (bytes))
    {
        deviceId = bytes[2];
        source = from;
    }
    else
    {
        deviceId = 0xff;
    }

    received.store (true, std::memory_order_release);
}

//==============================================================================
/** Opens every input, then probes each output in turn, under a modal progress window. */
class HWDetector::DetectionWindow final
{
public:
    DetectionWindow()
        : outputNames (Platform::midi().getOutputNames())
        , inputNames (Platform::midi().getInputNames())
    {
        for (int i = 0; i < inputNames.size(); ++i)
        {
            if (auto input = Platform::midi().openInput (i, &callback))
            {
                input->start();
                inputs.push_back ({ std::move (input), i });
            }
            else
            {
                std::printf ("Unable to open %i \n", i);
            }
        }
    }

    ~DetectionWindow()
    {
        for (auto& opened : inputs)
            opened.port->stop();

        inputs.clear();
    }

    void runModally()
    {
        ProgressWindowSpec spec;
        spec.title = "Checking connection with Tarnovelle synthesizer";
        spec.statusMessage = "Please wait...";
        spec.threadPriority = 5;
        spec.work = [this] (ProgressReporter& reporter) { run (reporter); };
        Platform::dialogs().runWithProgressWindow (spec);
    }

private:
    struct OpenedInput
    {
        std::unique_ptr<MidiInputPort> port;
        int deviceIndex;
    };

    void run (ProgressReporter& reporter)
    {
        const auto n = outputNames.size();
        const auto step = n > 0 ? 1.0 / (5.0 * n) : 1.0;
        double progress = 0.0;
        reporter.setProgress (progress);

        setFound (false, -1, -1);

        for (int i = 0; i < n && ! isCutShort (reporter); ++i)
        {
            auto output = Platform::midi().openOutput (i);

            if (output == nullptr)
            {
                progress += attemptsPerOutput * step;
                reporter.setProgress (progress);
                continue;
            }

            if (probe (*output, i, step, progress, reporter))
                return;
        }
    }

    /** Sends up to five requests on one output; true when the instrument answered there. */
    bool probe (MidiOutputPort& output, int outputIndex, double step, double& progress, ProgressReporter& reporter)
    {
        callback.reset();

        for (int attempt = 0; attempt < attemptsPerOutput; ++attempt)
        {
            sendIdentityRequest (&output);

            for (int wait = 0; wait < waitsPerAttempt; ++wait)
            {
                juce::Thread::sleep (waitSliceMs);

                if (callback.hasReceived() || isCutShort (reporter))
                    break;
            }

            if (isCutShort (reporter))
                return false;

            if (! callback.hasReceived())
            {
                progress += step;
                reporter.setProgress (progress);
                callback.stopListening();
                continue;
            }

            const auto id = callback.getDeviceId();

            if (id == 0xff)
            {
                progress += (attemptsPerOutput - attempt) * step;
                reporter.setProgress (progress);
                return false;
            }

            if (id == ownDeviceId || id == allDevicesId)
            {
                setFound (true, indexOf (callback.getSource()), outputIndex);
                return true;
            }
        }

        return false;
    }

    /** A quit ends the detection as one that found nothing. */
    static bool isCutShort (const ProgressReporter& reporter)
    {
        return reporter.threadShouldExit() || QuitRequest::isRaised();
    }

    int indexOf (MidiInputPort* port) const
    {
        for (auto& opened : inputs)
            if (opened.port.get() == port)
                return opened.deviceIndex;

        return -1;
    }

    static void setFound (bool found, int inputIndex, int outputIndex)
    {
        auto& state = getDetectionState();
        const std::lock_guard<std::mutex> lock (state.mutex);
        state.found = found;
        state.inputIndex = inputIndex;
        state.outputIndex = outputIndex;
    }

    const juce::StringArray outputNames;
    const juce::StringArray inputNames;
    std::vector<OpenedInput> inputs;
    MidiCallback callback;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DetectionWindow)
};

//==============================================================================
void HWDetector::setExpectedFamily (uint8 first, uint8 second)
{
    auto& state = getDetectionState();
    const std::lock_guard<std::mutex> lock (state.mutex);
    state.expectedFamily[0] = first;
    state.expectedFamily[1] = second;
}

void HWDetector::setExpectedMember (uint8 first, uint8 second)
{
    auto& state = getDetectionState();
    const std::lock_guard<std::mutex> lock (state.mutex);
    state.expectedMember[0] = first;
    state.expectedMember[1] = second;
}

void HWDetector::getFirmwareVersion (uint8& rev1, uint8& rev2, uint8& rev3, uint8& rev4)
{
    auto& state = getDetectionState();
    const std::lock_guard<std::mutex> lock (state.mutex);
    rev1 = state.firmwareVersion[0];
    rev2 = state.firmwareVersion[1];
    rev3 = state.firmwareVersion[2];
    rev4 = state.firmwareVersion[3];
}

void HWDetector::sendIdentityRequest (MidiOutputPort* output)
{
    static const uint8 identityRequest[] = { 0xf0, 0x7e, 0x7f, 0x06, 0x01, 0xf7 };

    if (output != nullptr)
        output->sendMessageNow (juce::MidiMessage (identityRequest, (int) sizeof (identityRequest), 0.0));
}

bool HWDetector::detect (MidiPortCallback* callback, std::unique_ptr<MidiInputPort>& input,
                         std::unique_ptr<MidiOutputPort>& output)
{
    const juce::ScopedLock lock (getDetectionLock());

    input.reset();
    output.reset();

    // A program that is ending looks for nothing; a detection it cuts short finds nothing.
    if (QuitRequest::isRaised())
        return false;

    {
        DetectionWindow window;
        window.runModally();
    }

    if (QuitRequest::isRaised())
        return false;

    int inputIndex = -1, outputIndex = -1;
    bool found = false;

    {
        auto& state = getDetectionState();
        const std::lock_guard<std::mutex> stateLock (state.mutex);
        found = state.found;
        inputIndex = state.inputIndex;
        outputIndex = state.outputIndex;
    }

    return found && openFound (callback, inputIndex, outputIndex, input, output);
}

bool HWDetector::openFound (MidiPortCallback* callback, int inputIndex, int outputIndex,
                            std::unique_ptr<MidiInputPort>& input, std::unique_ptr<MidiOutputPort>& output)
{
    input = Platform::midi().openInput (inputIndex, callback);
    output = Platform::midi().openOutput (outputIndex);

    // A port that cannot be reopened is no connection: report failure with both ports closed.
    if (input == nullptr || output == nullptr)
    {
        input.reset();
        output.reset();
        return false;
    }

    input->start();
    return true;
}

bool HWDetector::detectAmong (MidiPortCallback* callback, const juce::StringArray& inputIds,
                              const juce::StringArray& outputIds, std::unique_ptr<MidiInputPort>& input,
                              std::unique_ptr<MidiOutputPort>& output)
{
    const juce::ScopedLock lock (getDetectionLock());

    input.reset();
    output.reset();

    auto& midi = Platform::midi();
    const auto inputsNow = midi.getInputIdentifiers();
    const auto outputsNow = midi.getOutputIdentifiers();
    MidiCallback listener;
    std::vector<std::pair<std::unique_ptr<MidiInputPort>, int>> inputs;

    // By index, as the lists were a moment ago: a port opened under an index that now names
    // another one is left alone.
    for (auto& id : inputIds)
    {
        const auto index = inputsNow.indexOf (id);

        if (auto port = midi.openInput (index, &listener); port != nullptr && port->getIdentifier() == id)
        {
            port->start();
            inputs.emplace_back (std::move (port), index);
        }
    }

    int inputIndex = -1, outputIndex = -1;

    for (int i = 0; i < outputIds.size() && inputIndex < 0 && ! inputs.empty() && ! QuitRequest::isRaised(); ++i)
    {
        const auto index = outputsNow.indexOf (outputIds[i]);
        auto port = midi.openOutput (index);

        if (port == nullptr || port->getIdentifier() != outputIds[i])
            continue;

        listener.reset();
        sendIdentityRequest (port.get());
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) appearedPortReplyWaitMs;

        while (! listener.hasReceived() && juce::Time::getMillisecondCounter() < end && ! QuitRequest::isRaised())
            Platform::runMessageLoopFor (5);

        listener.stopListening();
        const auto id = listener.getDeviceId();

        if (id == ownDeviceId || id == allDevicesId)
        {
            for (auto& opened : inputs)
                if (opened.first.get() == listener.getSource())
                    inputIndex = opened.second;

            outputIndex = index;
        }
    }

    for (auto& opened : inputs)
        opened.first->stop();

    inputs.clear();
    return inputIndex >= 0 && ! QuitRequest::isRaised() && openFound (callback, inputIndex, outputIndex, input, output);
}

} // namespace tarnovelle
