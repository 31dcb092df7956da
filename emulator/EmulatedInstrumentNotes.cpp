#include "emulator/EmulatedInstrument.h"

#include "EmulatedInstrumentWire.h"

namespace tarnovelle
{

using namespace emulated;

namespace
{
    bool isChannelMessage (const EmulatedInstrument::Bytes& bytes)
    {
        return ! bytes.empty() && bytes[0] >= 0x80 && bytes[0] < 0xf0;
    }
} // namespace

void EmulatedInstrument::logChannelMessage (const Bytes& bytes)
{
    if (! isChannelMessage (bytes))
        return;

    const ChannelMessage message{ now() - createdAt, bytes };
    const juce::ScopedLock sl (logLock);
    channelMessages.push_back (message);

    if (channelMessages.size() > channelLogCapacity)
        channelMessages.pop_front();

    if (channelMessageListener != nullptr)
        channelMessageListener (message);
}

double EmulatedInstrument::getMillisecondsSinceStart() const noexcept { return now() - createdAt; }

std::vector<EmulatedInstrument::ChannelMessage> EmulatedInstrument::getReceivedChannelMessages() const
{
    const juce::ScopedLock sl (logLock);
    return { channelMessages.begin(), channelMessages.end() };
}

void EmulatedInstrument::setChannelMessageListener (std::function<void (const ChannelMessage&)> listener)
{
    const juce::ScopedLock sl (logLock);
    channelMessageListener = std::move (listener);
}

void EmulatedInstrument::playKey (int note, int velocity)
{
    if (! presence.isPresent() || silent.load (std::memory_order_acquire) || getMode() != Mode::application)
        return;

    const int channel = (getSetting (DeviceSetting::MOUT) & 0x0f) + 1;
    const auto message = velocity > 0 ? juce::MidiMessage::noteOn (channel, note, (uint8) velocity)
                                      : juce::MidiMessage::noteOff (channel, note);
    send (Bytes (message.getRawData(), message.getRawData() + message.getRawDataSize()));
}

} // namespace tarnovelle
