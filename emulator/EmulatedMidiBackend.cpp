#include "emulator/EmulatedMidiBackend.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>

namespace tarnovelle
{

namespace
{
    bool isIdentityRequest (const juce::MidiMessage& message) noexcept
    {
        const auto* d = message.getRawData();
        return message.getRawDataSize() == 6 && d[0] == 0xf0 && d[1] == 0x7e && d[3] == 0x06 && d[4] == 0x01
               && d[5] == 0xf7;
    }

    // Posting a message or adding a device wakes the delivery thread, and a chattering device
    // tells when its next message is due, so an idle backend need not poll.
    constexpr int longestIdleWaitMs = 1000;
} // namespace

//==============================================================================
/** One device on the emulated computer. What it sends goes through Core::post. */
class EmulatedMidiBackend::Device : public std::enable_shared_from_this<Device>
{
public:
    Device (const juce::String& deviceName, Sides deviceSides)
        : name (deviceName)
        , sides (deviceSides)
    {}
    virtual ~Device() = default;

    bool hasInput() const noexcept { return sides != Sides::outputOnly; }
    bool hasOutput() const noexcept { return sides != Sides::inputOnly; }

    virtual const PortPresence& getPresence() const noexcept { return ownPresence; }
    virtual bool canOpen() const noexcept { return true; }
    virtual bool isInstrument() const noexcept { return false; }

    /** A message the application sent to the device's output port. */
    virtual void receiveFromApplication (Core&, const juce::MidiMessage&) {}

    /** For devices that send on their own: sends what is due, returns ms until the next. */
    virtual double sendWhatIsDue (Core&, double /*now*/) { return longestIdleWaitMs; }

    void setPresent (bool shouldBePresent) noexcept { ownPresence.setPresent (shouldBePresent); }

    /** Names the device and its ports' appearance in that state. */
    juce::String identifierIn (PortPresence::State state) const
    {
        return name + "#" + juce::String (number) + "." + juce::String (state >> 1);
    }

    const juce::String name;
    const Sides sides;
    int number = -1; // its place among the backend's devices, set when it is added

private:
    PortPresence ownPresence;

    JUCE_DECLARE_NON_COPYABLE (Device)
};

//==============================================================================
class EmulatedInputPort;

struct EmulatedMidiBackend::Core final : private juce::Thread
{
    struct Item
    {
        std::shared_ptr<Device> from;
        PortPresence::State sentIn = 0;
        juce::MidiMessage message;
    };

    Core()
        : juce::Thread ("Emulated MIDI input")
    {}

    ~Core() override { shutdown(); }

    void begin() { startThread(); }

    /** Makes the delivery thread look at the devices again, e.g. at a newly added one. */
    void wake() { notify(); }

    void shutdown()
    {
        closed.store (true, std::memory_order_release);
        stopThread (2000);
    }

    /** Queues a message the device sent while its ports were in the given state. */
    void post (std::shared_ptr<Device> from, PortPresence::State sentIn, const juce::MidiMessage& message)
    {
        if (closed.load (std::memory_order_acquire) || ! PortPresence::isPresentState (sentIn))
            return;

        {
            const std::lock_guard<std::mutex> lock (queueMutex);
            queue.push_back ({ std::move (from), sentIn, message });
            inFlight.fetch_add (1, std::memory_order_acq_rel);
        }

        notify();
    }

    void postFromDevice (Device& from, const juce::MidiMessage& message)
    {
        post (from.shared_from_this(), from.getPresence().getState(), message);
    }

    std::vector<std::shared_ptr<Device>> getDevices() const
    {
        const std::lock_guard<std::mutex> lock (devicesMutex);
        return devices;
    }

    void run() override;
    void deliver (const Item& item);

    void setPortsChangedCallback (std::function<void()> callback)
    {
        const std::lock_guard<std::mutex> lock (portsChangedMutex);
        portsChanged = std::move (callback);
    }

    void notifyPortsChanged()
    {
        const std::lock_guard<std::mutex> lock (portsChangedMutex);

        if (portsChanged != nullptr)
            portsChanged();
    }

    std::mutex portsChangedMutex;
    std::function<void()> portsChanged;

    // Held while a callback runs and while inputs register, start, stop or leave: so closing
    // an input waits for a callback in progress. Recursive, because a callback may itself
    // stop or close inputs on the delivery thread.
    std::recursive_mutex deliveryMutex;
    std::vector<EmulatedInputPort*> inputs;

    std::mutex queueMutex;
    std::deque<Item> queue;
    std::atomic<int> inFlight{ 0 };

    mutable std::mutex devicesMutex;
    std::vector<std::shared_ptr<Device>> devices;

    std::atomic<bool> closed{ false };
    std::atomic<int> openOutputs{ 0 };

    JUCE_DECLARE_NON_COPYABLE (Core)
};

//==============================================================================
class EmulatedInputPort final : public MidiInputPort
{
public:
    using Core = EmulatedMidiBackend::Core;
    using Device = EmulatedMidiBackend::Device;

    EmulatedInputPort (std::shared_ptr<Core> backendCore, std::shared_ptr<Device> fromDevice,
                       PortPresence::State openedState, MidiPortCallback* callbackToUse)
        : core (std::move (backendCore))
        , device (std::move (fromDevice))
        , identifier (device->identifierIn (openedState))
        , openedIn (openedState)
        , callback (callbackToUse)
    {
        const std::lock_guard<std::recursive_mutex> lock (core->deliveryMutex);
        core->inputs.push_back (this);
    }

    ~EmulatedInputPort() override
    {
        const std::lock_guard<std::recursive_mutex> lock (core->deliveryMutex);
        started = false;
        auto& inputs = core->inputs;
        inputs.erase (std::remove (inputs.begin(), inputs.end(), this), inputs.end());
    }

    void start() override
    {
        const std::lock_guard<std::recursive_mutex> lock (core->deliveryMutex);
        started = true;
    }

    void stop() override
    {
        const std::lock_guard<std::recursive_mutex> lock (core->deliveryMutex);
        started = false;
    }

    juce::String getName() const override { return device->name; }
    juce::String getIdentifier() const override { return identifier; }

    /** Called with the delivery mutex held. */
    bool wants (const Core::Item& item) const noexcept
    {
        // A message sent before the device vanished still arrives on the ports of that
        // time; ports opened before it vanished never hear from it again.
        return started && callback != nullptr && item.from == device && item.sentIn == openedIn;
    }

    void deliver (const juce::MidiMessage& message) { callback->handleIncomingMidiMessage (this, message); }

private:
    std::shared_ptr<Core> core;
    std::shared_ptr<Device> device;
    const juce::String identifier;
    const PortPresence::State openedIn;
    MidiPortCallback* const callback;
    bool started = false; // guarded by the delivery mutex

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmulatedInputPort)
};

class EmulatedOutputPort final : public MidiOutputPort
{
public:
    using Core = EmulatedMidiBackend::Core;
    using Device = EmulatedMidiBackend::Device;

    EmulatedOutputPort (std::shared_ptr<Core> backendCore, std::shared_ptr<Device> toDevice,
                        PortPresence::State openedState)
        : core (std::move (backendCore))
        , device (std::move (toDevice))
        , openedIn (openedState)
    {
        core->openOutputs.fetch_add (1, std::memory_order_acq_rel);
    }

    ~EmulatedOutputPort() override { core->openOutputs.fetch_sub (1, std::memory_order_acq_rel); }

    juce::String getName() const override { return device->name; }
    juce::String getIdentifier() const override { return device->identifierIn (openedIn); }

private:
    void write (const juce::MidiMessage& message) override
    {
        // A dead port swallows what is sent to it, as the port of an unplugged device does.
        if (core->closed.load (std::memory_order_acquire) || ! device->getPresence().isAlive (openedIn))
            return;

        device->receiveFromApplication (*core, message);
    }

    std::shared_ptr<Core> core;
    std::shared_ptr<Device> device;
    const PortPresence::State openedIn;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmulatedOutputPort)
};

//==============================================================================
void EmulatedMidiBackend::Core::run()
{
    while (! threadShouldExit())
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();
        double untilNext = longestIdleWaitMs;

        for (auto& device : getDevices())
            untilNext = juce::jmin (untilNext, device->sendWhatIsDue (*this, now));

        for (;;)
        {
            Item item;

            {
                const std::lock_guard<std::mutex> lock (queueMutex);

                if (queue.empty())
                    break;

                item = std::move (queue.front());
                queue.pop_front();
            }

            deliver (item);
            inFlight.fetch_sub (1, std::memory_order_acq_rel);

            if (threadShouldExit())
                return;
        }

        wait (juce::jlimit (1, longestIdleWaitMs, (int) std::ceil (untilNext)));
    }
}

void EmulatedMidiBackend::Core::deliver (const Item& item)
{
    const std::lock_guard<std::recursive_mutex> lock (deliveryMutex);
    const auto snapshot = inputs;

    for (auto* port : snapshot)
    {
        // A callback may have closed other inputs meanwhile: only those still open count.
        if (std::find (inputs.begin(), inputs.end(), port) == inputs.end())
            continue;

        if (port->wants (item))
            port->deliver (item.message);
    }
}

//==============================================================================
namespace
{
    using Device = EmulatedMidiBackend::Device;
    using Core = EmulatedMidiBackend::Core;
    using Sides = EmulatedMidiBackend::Sides;

    class InstrumentDevice final : public Device
    {
    public:
        InstrumentDevice (EmulatedInstrument& target, const juce::String& deviceName)
            : Device (deviceName, Sides::both)
            , instrument (target)
        {}

        const PortPresence& getPresence() const noexcept override { return instrument.getPortPresence(); }
        bool isInstrument() const noexcept override { return true; }

        void receiveFromApplication (Core&, const juce::MidiMessage& message) override
        {
            instrument.receiveMidi (message);
        }

        void connect (std::weak_ptr<Core> core)
        {
            std::weak_ptr<Device> self = shared_from_this();

            instrument.setPresenceListener ([core] {
                if (auto c = core.lock())
                    c->notifyPortsChanged();
            });

            instrument.setOutputSink ([core, self, this] (const juce::MidiMessage& message) {
                auto c = core.lock();
                auto s = self.lock();

                if (c != nullptr && s != nullptr)
                    c->post (s, instrument.getPortPresence().getState(), message);
            });
        }

        void disconnect()
        {
            instrument.setOutputSink (nullptr);
            instrument.setPresenceListener (nullptr);
        }

    private:
        EmulatedInstrument& instrument;
    };

    class MidiThroughDevice final : public Device
    {
    public:
        using Device::Device;

        void receiveFromApplication (Core& core, const juce::MidiMessage& message) override
        {
            core.postFromDevice (*this, message);
        }
    };

    class ForeignDevice final : public Device
    {
    public:
        ForeignDevice (const juce::String& deviceName, const std::vector<uint8>& reply, Sides deviceSides)
            : Device (deviceName, deviceSides)
            , identityReply (reply.empty() ? juce::MidiMessage() : juce::MidiMessage (reply.data(), (int) reply.size()))
        {}

        void receiveFromApplication (Core& core, const juce::MidiMessage& message) override
        {
            if (isIdentityRequest (message))
                core.postFromDevice (*this, identityReply);
        }

    private:
        const juce::MidiMessage identityReply;
    };

    class UnopenableDevice final : public Device
    {
    public:
        using Device::Device;
        bool canOpen() const noexcept override { return false; }
    };

    class ChatterDevice final : public Device
    {
    public:
        ChatterDevice (const juce::String& deviceName, const std::vector<juce::MidiMessage>& toSend, int interval,
                       Sides deviceSides)
            : Device (deviceName, deviceSides)
            , messages (toSend)
            , intervalMs (juce::jmax (1, interval))
        {}

        // Only ever called on the delivery thread.
        double sendWhatIsDue (Core& core, double now) override
        {
            if (messages.empty())
                return longestIdleWaitMs;

            if (nextDue == 0.0)
                nextDue = now + intervalMs;

            if (now >= nextDue)
            {
                if (getPresence().isPresent())
                    core.postFromDevice (*this, messages[next++ % messages.size()]);

                nextDue = juce::jmax (nextDue + intervalMs, now + 1.0);
            }

            return nextDue - now;
        }

    private:
        const std::vector<juce::MidiMessage> messages;
        const int intervalMs;
        size_t next = 0;
        double nextDue = 0.0;
    };
} // namespace

//==============================================================================
EmulatedMidiBackend::EmulatedMidiBackend()
    : core (std::make_shared<Core>())
{
    core->begin();
}

EmulatedMidiBackend::~EmulatedMidiBackend()
{
    // No instrument may call into us once we are gone; clearing the sink waits for a reply
    // being handed over right now.
    for (auto& device : core->getDevices())
        if (device->isInstrument())
            static_cast<InstrumentDevice&> (*device).disconnect();

    core->shutdown();
}

int EmulatedMidiBackend::addDevice (std::shared_ptr<Device> device)
{
    int index = 0;

    {
        const std::lock_guard<std::mutex> lock (core->devicesMutex);
        index = (int) core->devices.size();
        device->number = index;
        core->devices.push_back (std::move (device));
    }

    // A chattering device starts at once, not when the thread next wakes.
    core->wake();
    core->notifyPortsChanged();
    return index;
}

int EmulatedMidiBackend::addInstrument (EmulatedInstrument& instrument, const juce::String& name)
{
    auto device = std::make_shared<InstrumentDevice> (instrument, name);
    device->connect (core);
    return addDevice (device);
}

int EmulatedMidiBackend::addMidiThrough (const juce::String& name)
{
    return addDevice (std::make_shared<MidiThroughDevice> (name, Sides::both));
}

int EmulatedMidiBackend::addForeignDevice (const juce::String& name, const std::vector<uint8>& identityReply,
                                           Sides sides)
{
    return addDevice (std::make_shared<ForeignDevice> (name, identityReply, sides));
}

int EmulatedMidiBackend::addUnopenablePort (const juce::String& name, Sides sides)
{
    return addDevice (std::make_shared<UnopenableDevice> (name, sides));
}

int EmulatedMidiBackend::addSilentDevice (const juce::String& name, Sides sides)
{
    return addDevice (std::make_shared<Device> (name, sides));
}

int EmulatedMidiBackend::addChatterDevice (const juce::String& name, const std::vector<juce::MidiMessage>& messages,
                                           int intervalMs, Sides sides)
{
    return addDevice (std::make_shared<ChatterDevice> (name, messages, intervalMs, sides));
}

void EmulatedMidiBackend::setDevicePresent (int device, bool shouldBePresent)
{
    const auto devices = core->getDevices();

    if (! juce::isPositiveAndBelow (device, (int) devices.size()))
        return;

    // An instrument's ports follow the instrument itself (setUnplugged, restarts).
    jassert (! devices[(size_t) device]->isInstrument());
    const auto before = devices[(size_t) device]->getPresence().getState();
    devices[(size_t) device]->setPresent (shouldBePresent);

    if (devices[(size_t) device]->getPresence().getState() != before)
        core->notifyPortsChanged();
}

void EmulatedMidiBackend::sendFromDevice (int device, const juce::MidiMessage& message)
{
    const auto devices = core->getDevices();

    if (juce::isPositiveAndBelow (device, (int) devices.size()))
        core->postFromDevice (*devices[(size_t) device], message);
}

int EmulatedMidiBackend::getNumOpenInputs() const
{
    const std::lock_guard<std::recursive_mutex> lock (core->deliveryMutex);
    return (int) core->inputs.size();
}

int EmulatedMidiBackend::getNumOpenOutputs() const { return core->openOutputs.load (std::memory_order_acquire); }

bool EmulatedMidiBackend::waitUntilDelivered (int timeoutMs) const
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    while (core->inFlight.load (std::memory_order_acquire) > 0)
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;

        juce::Thread::sleep (1);
    }

    return true;
}

//==============================================================================
std::shared_ptr<EmulatedMidiBackend::Device> EmulatedMidiBackend::findListed (int index, bool input) const
{
    int listed = 0;

    for (auto& device : core->getDevices())
    {
        if (! (input ? device->hasInput() : device->hasOutput()) || ! device->getPresence().isPresent())
            continue;

        if (listed++ == index)
            return device;
    }

    return nullptr;
}

juce::StringArray EmulatedMidiBackend::listed (bool inputs, bool identifiers) const
{
    juce::StringArray names;

    for (auto& device : core->getDevices())
    {
        const auto state = device->getPresence().getState();

        if ((inputs ? device->hasInput() : device->hasOutput()) && PortPresence::isPresentState (state))
            names.add (identifiers ? device->identifierIn (state) : device->name);
    }

    return names;
}

juce::StringArray EmulatedMidiBackend::getInputNames() { return listed (true, false); }
juce::StringArray EmulatedMidiBackend::getOutputNames() { return listed (false, false); }
juce::StringArray EmulatedMidiBackend::getInputIdentifiers() { return listed (true, true); }
juce::StringArray EmulatedMidiBackend::getOutputIdentifiers() { return listed (false, true); }

bool EmulatedMidiBackend::setPortsChangedCallback (std::function<void()> callback)
{
    core->setPortsChangedCallback (std::move (callback));
    return true;
}

std::unique_ptr<MidiInputPort> EmulatedMidiBackend::openInput (int index, MidiPortCallback* callback)
{
    auto device = findListed (index, true);

    if (device == nullptr || ! device->canOpen())
        return nullptr;

    const auto state = device->getPresence().getState();

    if (! PortPresence::isPresentState (state))
        return nullptr;

    return std::make_unique<EmulatedInputPort> (core, device, state, callback);
}

std::unique_ptr<MidiOutputPort> EmulatedMidiBackend::openOutput (int index)
{
    auto device = findListed (index, false);

    if (device == nullptr || ! device->canOpen())
        return nullptr;

    const auto state = device->getPresence().getState();

    if (! PortPresence::isPresentState (state))
        return nullptr;

    return std::make_unique<EmulatedOutputPort> (core, device, state);
}

} // namespace tarnovelle
