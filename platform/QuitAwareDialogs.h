#pragma once

#include "platform/Dialogs.h"

#include <atomic>

namespace tarnovelle
{

/** The dialogs as the program reaches them: once the program has been asked to end, nothing
    more is shown and every dialog answers as if its user had closed it. A message box counts as
    closed, an OK/Cancel box as Cancel, a question as closed without a choice (which no button
    answers), a file chooser as cancelled; a progress window's worker does not run at all, and neither does a web page
   open.
*/
class QuitAwareDialogs final : public Dialogs
{
public:
    QuitAwareDialogs() = default;

    /** The dialogs that show what is asked while no quit has been requested. */
    void setDialogs (Dialogs* dialogsToUse) noexcept;
    Dialogs* getDialogs() const noexcept;

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

    /** True while any dialog or progress window is shown. */
    bool isAnyOpen() const noexcept { return numOpen.load (std::memory_order_acquire) > 0; }

private:
    struct Showing;

    /** The dialogs to show this one, or nullptr when the program is ending. */
    Dialogs* shown() const noexcept;

    std::atomic<Dialogs*> dialogs{ nullptr };
    std::atomic<int> numOpen{ 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuitAwareDialogs)
};

} // namespace tarnovelle
