#include "platform/JuceMidiBackend.h"

#include "platform/AlsaPortAnnouncements.h"

#include <juce_audio_devices/juce_audio_devices.h>

namespace tarnovelle
{

namespace
{
    juce::StringArray namesOf (const juce::Array<juce::MidiDeviceInfo>& devices, bool identifiers = false)
    {
        juce::StringArray names;

        for (auto& d : devices)
            names.add (identifiers ? d.identifier : d.name);

        return names;
    }

    class JuceInputPort final : public MidiInputPort, private juce::MidiInputCallback
    {
    public:
        JuceInputPort (const juce::MidiDeviceInfo& info, MidiPortCallback* callbackToUse)
            : callback (callbackToUse)
        {
            input = juce::MidiInput::openDevice (info.identifier, this);
        }

        ~JuceInputPort() override
        {
            if (input != nullptr)
                input->stop();
        }

        bool isOpen() const { return input != nullptr; }

        void start() override { input->start(); }
        void stop() override { input->stop(); }
        juce::String getName() const override { return input->getName(); }
        juce::String getIdentifier() const override { return input->getIdentifier(); }

    private:
        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message) override
        {
            if (callback != nullptr)
                callback->handleIncomingMidiMessage (this, message);
        }

        void handlePartialSysexMessage (juce::MidiInput*, const juce::uint8* data, int numBytes, double time) override
        {
            if (callback != nullptr)
                callback->handlePartialSysexMessage (this, data, numBytes, time);
        }

        MidiPortCallback* callback;
        std::unique_ptr<juce::MidiInput> input;
    };

    class JuceOutputPort final : public MidiOutputPort
    {
    public:
        explicit JuceOutputPort (std::unique_ptr<juce::MidiOutput> out)
            : output (std::move (out))
        {}

        juce::String getName() const override { return output->getName(); }
        juce::String getIdentifier() const override { return output->getIdentifier(); }

    private:
        void write (const juce::MidiMessage& message) override { output->sendMessageNow (message); }

        std::unique_ptr<juce::MidiOutput> output;
    };
} // namespace

JuceMidiBackend::JuceMidiBackend() = default;

JuceMidiBackend::~JuceMidiBackend() { announcements.reset(); }

juce::StringArray JuceMidiBackend::getInputIdentifiers()
{
    return namesOf (juce::MidiInput::getAvailableDevices(), true);
}

juce::StringArray JuceMidiBackend::getOutputIdentifiers()
{
    return namesOf (juce::MidiOutput::getAvailableDevices(), true);
}

bool JuceMidiBackend::setPortsChangedCallback (std::function<void()> callback)
{
    {
        const std::lock_guard<std::mutex> lock (callbackMutex);
        portsChanged = std::move (callback);
    }

    if (announcements == nullptr)
        announcements = std::make_unique<AlsaPortAnnouncements> ([this] {
            const std::lock_guard<std::mutex> lock (callbackMutex);

            if (portsChanged != nullptr)
                portsChanged();
        });

    return announcements->isListening();
}

juce::StringArray JuceMidiBackend::getInputNames() { return namesOf (juce::MidiInput::getAvailableDevices()); }

juce::StringArray JuceMidiBackend::getOutputNames() { return namesOf (juce::MidiOutput::getAvailableDevices()); }

std::unique_ptr<MidiInputPort> JuceMidiBackend::openInput (int index, MidiPortCallback* callback)
{
    auto devices = juce::MidiInput::getAvailableDevices();

    if (! juce::isPositiveAndBelow (index, devices.size()))
        return nullptr;

    auto port = std::make_unique<JuceInputPort> (devices.getReference (index), callback);

    if (! port->isOpen())
        return nullptr;

    return port;
}

std::unique_ptr<MidiOutputPort> JuceMidiBackend::openOutput (int index)
{
    auto devices = juce::MidiOutput::getAvailableDevices();

    if (! juce::isPositiveAndBelow (index, devices.size()))
        return nullptr;

    auto output = juce::MidiOutput::openDevice (devices.getReference (index).identifier);

    if (output == nullptr)
        return nullptr;

    return std::make_unique<JuceOutputPort> (std::move (output));
}

} // namespace tarnovelle
