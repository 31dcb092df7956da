#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** Decides what the coming and going of the computer's MIDI ports means for the connection.

    It is shown the ports listed now, each by an identifier that names one appearance of the
    port, together with what the program is doing, and answers with what to do: nothing, the
    instrument has gone (the connection's ports are no longer listed), or ask the ports that
    appeared whether the instrument is behind them. Ports are asked once per appearance; a port
    that vanishes and comes back is a new one.

    Nothing is decided while the program is busy (an operation, a detection, an update, a box, a
    progress window or a file chooser), except asking new ports while the start-up's question
    whether to retry waits for its answer; ports that appear meanwhile are asked afterwards. Ports
    that appear while the user has switched the connection off are never asked. Plain logic: it
    touches no port itself.
*/
class PortWatcher final
{
public:
    struct Ports
    {
        juce::StringArray inputs, outputs;
    };

    /** What the program is doing, as far as the watcher is concerned. */
    struct Situation
    {
        bool connected = false;
        bool switchedOffByUser = false; // CONNECT turned the connection off and nothing since
        bool busy = false;              // an operation, a detection or any dialog is under way
        bool atRetryQuestion = false;   // the busy part is only the question whether to retry
    };

    enum class Decision
    {
        nothing,
        instrumentGone,
        askAppearedPorts, // getPortsToAsk() lists them
        lookAgainLater    // something waits for the program to be free
    };

    PortWatcher() = default;

    /** The identifiers of the connection's two ports, once connected. */
    void setConnectionPorts (const juce::String& inputId, const juce::String& outputId);

    /** After the program looked at every port itself (a detection, an update): what is listed
        now counts as known.
    */
    void takeAsKnown (const Ports& listed);

    Decision look (const Ports& listed, const Situation& situation);

    /** The ports the last askAppearedPorts decision is about; they count as asked. */
    const Ports& getPortsToAsk() const noexcept { return toAsk; }

private:
    void noteAppearances (const Ports& listed);
    bool connectionIsListed (const Ports& listed) const;

    Ports known, appeared, toAsk;
    juce::String connectionInput, connectionOutput;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PortWatcher)
};

} // namespace tarnovelle
