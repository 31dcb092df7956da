#include "RecallLinkWorker.h"

#include "link/LinkSocket.h"

namespace tarnovelle
{

namespace
{
    constexpr int connectTimeoutMs = 1000;

    /** How often the link is looked at while nothing is asked. */
    constexpr int idleCheckMs = 2000;

    const char* describeJob (RecallLinkWorker::Job job)
    {
        switch (job)
        {
            case RecallLinkWorker::Job::take: return "Taking from Tarnovelle";
            case RecallLinkWorker::Job::send: return "Sending to Tarnovelle";
            case RecallLinkWorker::Job::compare: return "Comparing with Tarnovelle";
            case RecallLinkWorker::Job::openInEditor: return "Opening in Tarnovelle Connection";
        }

        return "";
    }
} // namespace

RecallLinkWorker::RecallLinkWorker (Callbacks callbacksToUse)
    : juce::Thread ("Tarnovelle Recall link")
    , callbacks (std::move (callbacksToUse))
{
    startThread();
}

RecallLinkWorker::~RecallLinkWorker()
{
    signalThreadShouldExit();
    notify();
    // A request under way ends within its silence limit; the link is bounded on every wait.
    stopThread (silenceLimitMs + 1000);
}

void RecallLinkWorker::request (Job job)
{
    {
        const juce::ScopedLock sl (lock);

        if (std::find (jobs.begin(), jobs.end(), job) != jobs.end())
            return;

        jobs.push_back (job);
    }

    notify();
}

void RecallLinkWorker::compareWhenLinked()
{
    {
        const juce::ScopedLock sl (lock);
        compareOnceLinked = true;
    }

    notify();
}

RecallLinkStatus RecallLinkWorker::getStatus() const
{
    const juce::ScopedLock sl (lock);
    return status;
}

void RecallLinkWorker::update (const std::function<void (RecallLinkStatus&)>& change)
{
    const juce::ScopedLock sl (lock);
    change (status);
}

void RecallLinkWorker::run()
{
    const auto takeCompareOnceLinked = [this] {
        const juce::ScopedLock sl (lock);
        return std::exchange (compareOnceLinked, false);
    };

    while (! threadShouldExit())
    {
        std::optional<Job> job;

        {
            const juce::ScopedLock sl (lock);

            if (! jobs.empty())
            {
                job = jobs.front();
                jobs.pop_front();
            }
        }

        if (job.has_value())
            carryOut (*job);
        else if (ensureLinked() && takeCompareOnceLinked())
            request (Job::compare);
        else
            wait (idleCheckMs);
    }
}

bool RecallLinkWorker::ensureLinked()
{
    if (! client.isConnected() || ! client.isStillOpen())
    {
        const auto socketFile = LinkSocket::findSocketFile (false);

        if (! socketFile.has_value() || ! client.connect (*socketFile, connectTimeoutMs))
        {
            update ([] (RecallLinkStatus& s) {
                s.link = RecallLinkStatus::Link::notRunning;
                s.peerName.clear();
            });
            return false;
        }
    }

    update ([this] (RecallLinkStatus& s) {
        s.link = RecallLinkStatus::Link::linked;
        s.peerName = client.getPeerName();
    });
    return true;
}

void RecallLinkWorker::carryOut (Job job)
{
    const auto finish = [this] (bool failed, const juce::String& outcome) {
        update ([&] (RecallLinkStatus& s) {
            s.activity.clear();
            s.outcome = outcome;
            s.lastFailed = failed;
        });
    };

    if (! ensureLinked())
        return finish (true, "Tarnovelle Connection is not running: start it, then try again.");

    LinkMessage message;
    message.type = job == Job::take      ? LinkMessage::Type::take
                   : job == Job::send    ? LinkMessage::Type::send
                   : job == Job::compare ? LinkMessage::Type::compare
                                         : LinkMessage::Type::openInEditor;

    if (job != Job::take)
    {
        message.set = callbacks.getKeptSet();

        if (! message.set.has_value())
            return finish (true, "This project keeps no set yet: take one from Tarnovelle first.");
    }

    // A send changes the instrument while the song may be playing it: not while the host plays.
    if (job == Job::send && callbacks.isTransportRunning())
        return finish (true, "The host's transport is running: nothing was sent. Stop it, then send again.");

    const juce::String what (describeJob (job));
    update ([&] (RecallLinkStatus& s) { s.activity = what + "..."; });

    // A send stops at the next sequence when the host's transport starts meanwhile.
    bool stoppedByTransport = false;
    const auto answer = client.request (
        message,
        [&] (int done, int total) {
            update ([&] (RecallLinkStatus& s) {
                s.activity = what + "... " + juce::String (done) + " / " + juce::String (total);
            });
            stoppedByTransport = stoppedByTransport || (job == Job::send && callbacks.isTransportRunning());
            return ! stoppedByTransport;
        },
        silenceLimitMs);

    if (answer.type == LinkMessage::Type::error)
    {
        if (! client.isConnected())
            update ([] (RecallLinkStatus& s) { s.link = RecallLinkStatus::Link::notRunning; });

        const auto interrupted = answer.error == LinkMessage::Error::interrupted && job == Job::send;
        const juce::String cause = stoppedByTransport ? "The send was interrupted by the host's transport starting: "
                                   : interrupted      ? "The send was interrupted: "
                                                      : "";
        return finish (true, cause + answer.text);
    }

    if (job == Job::take && answer.set.has_value())
        callbacks.keepSet (*answer.set);

    update ([&] (RecallLinkStatus& s) {
        if (job == Job::compare)
        {
            s.instrumentDiffers = answer.differs;
            s.differences = answer.lines;
        }
        else if (job == Job::take || job == Job::send)
        {
            // The kept set and the instrument now hold the same.
            s.instrumentDiffers = false;
            s.differences.clear();
        }
    });
    finish (false, answer.text);
}

} // namespace tarnovelle
