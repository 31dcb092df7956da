#include "platform/QuitAwareDialogs.h"

#include "platform/QuitRequest.h"

namespace tarnovelle
{

void QuitAwareDialogs::setDialogs (Dialogs* dialogsToUse) noexcept
{
    dialogs.store (dialogsToUse, std::memory_order_release);
}

Dialogs* QuitAwareDialogs::getDialogs() const noexcept { return dialogs.load (std::memory_order_acquire); }

/** Counts a dialog as open for as long as it is shown. */
struct QuitAwareDialogs::Showing final
{
    explicit Showing (std::atomic<int>& count)
        : numOpen (count)
    {
        ++numOpen;
    }

    ~Showing() { --numOpen; }

    std::atomic<int>& numOpen;

    JUCE_DECLARE_NON_COPYABLE (Showing)
};

void QuitAwareDialogs::acceptOkCancelBox (const juce::String& title)
{
    if (auto* d = shown())
        d->acceptOkCancelBox (title);
}

Dialogs* QuitAwareDialogs::shown() const noexcept
{
    auto* current = getDialogs();
    jassert (current != nullptr);
    return QuitRequest::isRaised() ? nullptr : current;
}

void QuitAwareDialogs::showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    const Showing showing (numOpen);
    if (auto* d = shown())
        d->showMessageBox (icon, title, message);
}

bool QuitAwareDialogs::showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    const Showing showing (numOpen);
    auto* d = shown();
    return d != nullptr && d->showOkCancelBox (icon, title, message) && ! QuitRequest::isRaised();
}

int QuitAwareDialogs::ask (const DialogQuestion& question)
{
    auto* d = shown();
    const int answer = d != nullptr ? d->ask (question) : closedWithoutChoice;
    return QuitRequest::isRaised() ? closedWithoutChoice : answer;
}

juce::File QuitAwareDialogs::browseForFileToOpen (const juce::String& title, const juce::String& pattern)
{
    const Showing showing (numOpen);
    auto* d = shown();
    auto chosen = d != nullptr ? d->browseForFileToOpen (title, pattern) : juce::File();
    return QuitRequest::isRaised() ? juce::File() : chosen;
}

juce::File QuitAwareDialogs::browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                                  const juce::File& initialFile)
{
    const Showing showing (numOpen);
    auto* d = shown();
    auto chosen = d != nullptr ? d->browseForFileToSave (title, pattern, initialFile) : juce::File();
    return QuitRequest::isRaised() ? juce::File() : chosen;
}

bool QuitAwareDialogs::showForm (const juce::String& title, const juce::String& message,
                                 std::vector<DialogField>& fields)
{
    const Showing showing (numOpen);
    auto* d = shown();
    return d != nullptr && d->showForm (title, message, fields) && ! QuitRequest::isRaised();
}

void QuitAwareDialogs::runWithProgressWindow (const ProgressWindowSpec& spec)
{
    const Showing showing (numOpen);
    if (auto* d = shown())
        d->runWithProgressWindow (spec);
}

void QuitAwareDialogs::openUrl (const juce::String& url)
{
    if (auto* d = shown())
        d->openUrl (url);
}

} // namespace tarnovelle
