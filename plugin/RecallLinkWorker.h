#pragma once

#include "link/LinkClient.h"

#include <juce_events/juce_events.h>

#include <deque>

namespace tarnovelle
{

/** What the plug-in's window shows of its link to the program and of the last request. */
struct RecallLinkStatus
{
    enum class Link
    {
        notRunning,
        linked
    };

    Link link = Link::notRunning;
    juce::String peerName;
    juce::String activity; // what is under way, "" when nothing is
    juce::String outcome;  // how the last request ended
    bool lastFailed = false;

    /** After a comparison: whether the instrument differs from the kept set, and how. */
    std::optional<bool> instrumentDiffers;
    juce::StringArray differences;

    bool isDemo() const { return peerName.endsWith ("Demo"); }
};

/** The plug-in's link to the program, on a thread of its own: it connects when the program
    runs, notices when it goes, and carries out one request at a time. Nothing here runs on
    the audio thread, and nothing blocks the message thread.
*/
class RecallLinkWorker final : private juce::Thread
{
public:
    enum class Job
    {
        take,
        send,
        compare,
        openInEditor
    };

    struct Callbacks
    {
        std::function<std::optional<KeptSet>()> getKeptSet;
        std::function<void (const KeptSet&)> keepSet;
        std::function<bool()> isTransportRunning;
    };

    explicit RecallLinkWorker (Callbacks callbacks);
    ~RecallLinkWorker() override;

    /** Queues a request, from the message thread; one already waiting is not queued twice. */
    void request (Job job);

    /** Queues a comparison for the moment the link is up: at once when it is, or when the
        program starts later.
    */
    void compareWhenLinked();

    RecallLinkStatus getStatus() const;

    /** How long each answer of the program may take to come. */
    static constexpr int silenceLimitMs = 10000;

private:
    void run() override;
    bool ensureLinked();
    void carryOut (Job job);
    void update (const std::function<void (RecallLinkStatus&)>& change);

    const Callbacks callbacks;
    LinkClient client;

    mutable juce::CriticalSection lock;
    RecallLinkStatus status;
    std::deque<Job> jobs;
    bool compareOnceLinked = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecallLinkWorker)
};

} // namespace tarnovelle
