#include "RecallEditor.h"

namespace tarnovelle
{

namespace
{
    const juce::Colour windowColour (0xff2d3036), bannerColour (0xffb4472f);
    const char* programLauncher = "tarnovelle-connection";
} // namespace

RecallEditor::RecallEditor (RecallProcessor& processorToUse)
    : juce::AudioProcessorEditor (processorToUse)
    , recall (processorToUse)
{
    for (auto* label : { &linkLabel, &banner, &outcomeLabel })
    {
        label->setFont (15.0f);
        addAndMakeVisible (*label);
    }

    banner.setColour (juce::Label::backgroundColourId, bannerColour);
    banner.setText ("Tarnovelle differs from the set this project keeps. Send puts the project's set back.",
                    juce::dontSendNotification);

    differences.setMultiLine (true);
    differences.setReadOnly (true);
    addChildComponent (differences);

    using Job = RecallLinkWorker::Job;
    const std::pair<juce::TextButton*, Job> requests[] = { { &takeButton, Job::take },
                                                           { &sendButton, Job::send },
                                                           { &compareButton, Job::compare },
                                                           { &openButton, Job::openInEditor } };

    for (auto [button, job] : requests)
    {
        button->onClick = [this, job = job] { recall.getLink().request (job); };
        addAndMakeVisible (*button);
    }

    const auto state = recall.getState();
    compareOnOpen.setToggleState (state.compareOnOpen, juce::dontSendNotification);
    sendOnOpen.setToggleState (state.sendOnOpen, juce::dontSendNotification);

    for (auto* option : { &compareOnOpen, &sendOnOpen })
    {
        option->onClick = [this] { recall.setOptions (compareOnOpen.getToggleState(), sendOnOpen.getToggleState()); };
        addAndMakeVisible (*option);
    }

    startButton.onClick = [this] { startProgram(); };
    addChildComponent (startButton);
    addAndMakeVisible (setView);

    setSize (820, 500);
    timerCallback();
    startTimerHz (5);
}

RecallEditor::~RecallEditor() { stopTimer(); }

void RecallEditor::paint (juce::Graphics& g) { g.fillAll (windowColour); }

void RecallEditor::resized()
{
    auto area = getLocalBounds().reduced (10);
    auto top = area.removeFromTop (28);
    startButton.setBounds (top.removeFromRight (220));
    linkLabel.setBounds (top);
    area.removeFromTop (6);

    if (banner.isVisible())
        banner.setBounds (area.removeFromTop (28));

    auto bottom = area.removeFromBottom (100);
    auto buttons = bottom.removeFromTop (30);
    const int buttonWidth = buttons.getWidth() / 4;

    for (auto* button : { &takeButton, &sendButton, &compareButton, &openButton })
        button->setBounds (buttons.removeFromLeft (buttonWidth).reduced (3, 0));

    auto options = bottom.removeFromTop (28);
    compareOnOpen.setBounds (options.removeFromLeft (200));
    sendOnOpen.setBounds (options);
    outcomeLabel.setBounds (bottom);

    if (differences.isVisible())
        differences.setBounds (area.removeFromRight (260).withTrimmedLeft (8));

    setView.setBounds (area.withTrimmedTop (4));
}

void RecallEditor::timerCallback()
{
    setView.setSet (recall.getState().set);
    showStatus (recall.getLink().getStatus());
}

void RecallEditor::showStatus (const RecallLinkStatus& status)
{
    const bool linked = status.link == RecallLinkStatus::Link::linked;
    linkLabel.setText (linked ? "Linked to " + status.peerName + (status.isDemo() ? "  (Demo)" : "")
                              : juce::String ("Tarnovelle Connection is not running."),
                       juce::dontSendNotification);

    const auto problem = recall.getStateProblem();
    outcomeLabel.setText (status.activity.isNotEmpty() ? status.activity
                          : problem.isNotEmpty()       ? problem
                                                       : status.outcome,
                          juce::dontSendNotification);
    outcomeLabel.setColour (juce::Label::textColourId, status.lastFailed || problem.isNotEmpty()
                                                           ? bannerColour.brighter (0.6f)
                                                           : juce::Colours::white);

    const bool differs = status.instrumentDiffers.value_or (false);
    const bool layoutChanges =
        banner.isVisible() != differs || differences.isVisible() != differs || startButton.isVisible() == linked;
    banner.setVisible (differs);
    differences.setVisible (differs);
    startButton.setVisible (! linked);

    if (differences.getText() != status.differences.joinIntoString ("\n"))
        differences.setText (status.differences.joinIntoString ("\n"), false);

    for (auto* button : { &takeButton, &sendButton, &compareButton, &openButton })
        button->setEnabled (linked && status.activity.isEmpty());

    if (layoutChanges)
        resized();
}

void RecallEditor::startProgram()
{
    // The program's launcher from the package, found on the PATH as a shell would find it.
    for (const auto& folder :
         juce::StringArray::fromTokens (juce::SystemStats::getEnvironmentVariable ("PATH", ""), ":", ""))
    {
        const juce::File launcher =
            juce::File::isAbsolutePath (folder) ? juce::File (folder).getChildFile (programLauncher) : juce::File();

        if (launcher.existsAsFile() && launcher.startAsProcess())
        {
            outcomeLabel.setText ("Starting Tarnovelle Connection...", juce::dontSendNotification);
            return;
        }
    }

    outcomeLabel.setText ("Tarnovelle Connection was not found: start it from the desktop's menu.",
                          juce::dontSendNotification);
}

} // namespace tarnovelle
