#include "platform/MidiPorts.h"

#include <mutex>

namespace tarnovelle
{

void MidiOutputPort::sendMessageNow (const juce::MidiMessage& message)
{
    // Re-entrant: a port that passes its messages on to another one (a tap that watches what
    // leaves) sends again from inside write().
    static std::recursive_mutex writeLock;
    const std::lock_guard<std::recursive_mutex> lock (writeLock);
    write (message);
}

} // namespace tarnovelle
