#pragma once

#include "platform/Dialogs.h"

namespace tarnovelle
{

/** The native dialogs, through JUCE: its alert boxes (kept in front, GUIMessageBox), FileChooser,
    ThreadWithProgressWindow. */
class JuceDialogs final : public Dialogs
{
public:
    JuceDialogs() = default;

    void showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message) override;
    bool showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message) override;
    int ask (const DialogQuestion& question) override;
    juce::File browseForFileToOpen (const juce::String& title, const juce::String& pattern) override;
    juce::File browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                    const juce::File& initialFile = {}) override;
    bool showForm (const juce::String& title, const juce::String& message, std::vector<DialogField>& fields) override;
    void runWithProgressWindow (const ProgressWindowSpec& spec) override;
    void openUrl (const juce::String& url) override;
    void acceptOkCancelBox (const juce::String& title) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDialogs)
};

} // namespace tarnovelle
