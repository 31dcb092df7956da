#pragma once

#include "RecallProcessor.h"
#include "RecallSetView.h"
#include "platform/XEventQueueGuard.h"

namespace tarnovelle
{

/** The plug-in's window: the kept set, the link's state, the four requests and the options.
    It reads the processor's state and the link's status a few times a second; the buttons only
    queue requests, which the link's thread carries out.
*/
class RecallEditor final : public juce::AudioProcessorEditor, private juce::Timer
{
public:
    explicit RecallEditor (RecallProcessor& processor);
    ~RecallEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void timerCallback() override;
    void showStatus (const RecallLinkStatus& status);
    void startProgram();

    RecallProcessor& recall;
    juce::Label linkLabel, banner, outcomeLabel;
    juce::TextButton startButton{ "Start Tarnovelle Connection" };
    juce::TextButton takeButton{ "Take from Tarnovelle" }, sendButton{ "Send to Tarnovelle" },
        compareButton{ "Compare" }, openButton{ "Open in Tarnovelle Connection" };
    juce::ToggleButton compareOnOpen{ "Compare on open" }, sendOnOpen{ "Send when the project opens" };
    juce::TextEditor differences;
    RecallSetView setView;
    XEventQueueGuard xEventQueueGuard; // a click in the host's window is never left unread

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecallEditor)
};

} // namespace tarnovelle
