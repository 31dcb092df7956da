#include "app/SingleInstance.h"

namespace tarnovelle
{

namespace
{
    constexpr int connectTimeoutMs = 1000;

    juce::String makePipeName (const juce::String& applicationName)
    {
        auto user = juce::SystemStats::getLogonName().retainCharacters (
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
        return applicationName.retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")
               + "_instance_" + user;
    }
} // namespace

/** The first instance's end of the pipe; opened again after every caller has gone. */
class SingleInstance::Listener final : public juce::InterprocessConnection
{
public:
    Listener (const juce::String& nameOfPipe, std::function<void (const juce::String&)> callback)
        : juce::InterprocessConnection (true)
        , pipeName (nameOfPipe)
        , onMessage (std::move (callback))
    {
        open();
    }

    ~Listener() override { disconnect(); }

    void connectionMade() override {}

    void connectionLost() override
    {
        // Reopen for the next start, once the pipe's thread has let go of it.
        juce::MessageManager::callAsync ([safe = juce::WeakReference<Listener> (this)] {
            if (safe != nullptr)
                safe->open();
        });
    }

    void messageReceived (const juce::MemoryBlock& message) override
    {
        if (onMessage)
            onMessage (message.toString());
    }

private:
    void open() { createPipe (pipeName, -1, false); }

    const juce::String pipeName;
    std::function<void (const juce::String&)> onMessage;

    JUCE_DECLARE_WEAK_REFERENCEABLE (Listener)
};

SingleInstance::SingleInstance (const juce::String& applicationName)
    : pipeName (makePipeName (applicationName))
    , lock ("TarnovelleSingleInstance_" + makePipeName (applicationName))
{
    isFirst = lock.enter (0);
}

SingleInstance::~SingleInstance()
{
    listener.reset();

    if (isFirst)
        lock.exit();
}

bool SingleInstance::notifyRunningInstance (const juce::String& commandLine)
{
    struct Sender final : public juce::InterprocessConnection
    {
        Sender()
            : juce::InterprocessConnection (false)
        {}
        ~Sender() override { disconnect(); }
        void connectionMade() override {}
        void connectionLost() override {}
        void messageReceived (const juce::MemoryBlock&) override {}
    };

    Sender sender;

    if (! sender.connectToPipe (pipeName, connectTimeoutMs))
        return false;

    return sender.sendMessage (juce::MemoryBlock (commandLine.toRawUTF8(), commandLine.getNumBytesAsUTF8() + 1));
}

void SingleInstance::listen (std::function<void (const juce::String&)> onAnotherInstance)
{
    if (isFirst)
        listener = std::make_unique<Listener> (pipeName, std::move (onAnotherInstance));
}

} // namespace tarnovelle
