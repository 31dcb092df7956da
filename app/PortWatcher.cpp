#include "app/PortWatcher.h"

namespace tarnovelle
{

namespace
{
    /** Keeps in `appeared` what is still listed, and adds what is listed but was not known. */
    void follow (juce::StringArray& appeared, juce::StringArray& known, const juce::StringArray& listed)
    {
        for (int i = appeared.size(); --i >= 0;)
            if (! listed.contains (appeared[i]))
                appeared.remove (i);

        for (auto& port : listed)
            if (! known.contains (port))
                appeared.addIfNotAlreadyThere (port);

        known = listed;
    }
} // namespace

void PortWatcher::setConnectionPorts (const juce::String& inputId, const juce::String& outputId)
{
    connectionInput = inputId;
    connectionOutput = outputId;
}

void PortWatcher::takeAsKnown (const Ports& listed)
{
    known = listed;
    appeared = {};
}

void PortWatcher::noteAppearances (const Ports& listed)
{
    follow (appeared.inputs, known.inputs, listed.inputs);
    follow (appeared.outputs, known.outputs, listed.outputs);
}

bool PortWatcher::connectionIsListed (const Ports& listed) const
{
    return listed.inputs.contains (connectionInput) && listed.outputs.contains (connectionOutput);
}

PortWatcher::Decision PortWatcher::look (const Ports& listed, const Situation& situation)
{
    noteAppearances (listed);

    if (situation.connected)
    {
        if (connectionIsListed (listed))
        {
            // Devices plugged in beside the instrument are none of the connection's business.
            appeared = {};
            return Decision::nothing;
        }

        // An operation under way finds the loss itself; the window is told once it has ended.
        // Ports that appeared meanwhile (the instrument plugged straight back) stay to be asked.
        return situation.busy ? Decision::lookAgainLater : Decision::instrumentGone;
    }

    if (situation.switchedOffByUser)
    {
        appeared = {};
        return Decision::nothing;
    }

    // The instrument lists both of its ports; until both sides have appeared there is no one
    // to ask (the ALSA sequencer announces them one by one).
    if (appeared.inputs.isEmpty() || appeared.outputs.isEmpty())
        return Decision::nothing;

    if (situation.busy && ! situation.atRetryQuestion)
        return Decision::lookAgainLater;

    toAsk = std::exchange (appeared, {});
    return Decision::askAppearedPorts;
}

} // namespace tarnovelle
