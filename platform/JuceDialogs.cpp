#include "platform/JuceDialogs.h"

#include "platform/GUIMessageBox.h"
#include "platform/QuitRequest.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

namespace tarnovelle
{

namespace
{
    juce::MessageBoxIconType toJuceIcon (DialogIcon icon)
    {
        switch (icon)
        {
            case DialogIcon::info: return juce::MessageBoxIconType::InfoIcon;
            case DialogIcon::warning: return juce::MessageBoxIconType::WarningIcon;
            case DialogIcon::none: break;
        }

        return juce::MessageBoxIconType::NoIcon;
    }

    class ProgressWindow final : public juce::ThreadWithProgressWindow, private ProgressReporter
    {
    public:
        explicit ProgressWindow (const ProgressWindowSpec& specToRun)
            : juce::ThreadWithProgressWindow (specToRun.title, true, false, 10000, "Cancel")
            , spec (specToRun)
        {
            juce::ThreadWithProgressWindow::setStatusMessage (spec.statusMessage);
        }

        void run() override
        {
            if (spec.work)
                spec.work (*this);
        }

        /** Shows the window until its worker has finished, or until the program is asked to
            end: JUCE's own runThread would then wait for ever for a timer that no longer fires.
            A worker cut short is asked to stop and awaited.
        */
        void runModally()
        {
            launchThread (juce::Thread::Priority::normal);

            while (! closed && ! QuitRequest::isRaised())
                juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

            if (! closed)
                stopThread (-1);
        }

        void threadComplete (bool) override { closed = true; }

    private:
        void setProgress (double newProgress) override { juce::ThreadWithProgressWindow::setProgress (newProgress); }
        void setStatusMessage (const juce::String& message) override
        {
            juce::ThreadWithProgressWindow::setStatusMessage (message);
        }
        bool threadShouldExit() const override { return juce::Thread::threadShouldExit(); }

        const ProgressWindowSpec& spec;
        bool closed = false;
    };

    // Without a compositing window manager, the X server leaves a closed dialog's pixels on
    // the windows below it until they are painted again, and JUCE does not always get to see
    // the exposure while a modal loop is running: every window is painted afresh instead.
    struct RepaintWindowsAfterwards final
    {
        RepaintWindowsAfterwards() = default;
        ~RepaintWindowsAfterwards()
        {
            auto& desktop = juce::Desktop::getInstance();

            for (int i = desktop.getNumComponents(); --i >= 0;)
                if (auto* window = desktop.getComponent (i))
                    window->repaint();
        }

        JUCE_DECLARE_NON_COPYABLE (RepaintWindowsAfterwards)
    };

    /** Shows the desktop's own file chooser (zenity or kdialog, where installed) until the user
        answers or the program is asked to end. JUCE's modal run of it would wait for the
        chooser's process to end even after a quit, and so keep the program open as long as the
        chooser is: here a quit closes the chooser instead (its process is killed with it).
    */
    juce::File runFileChooser (const juce::String& title, const juce::String& pattern, int flags,
                               const juce::File& initialFile = {})
    {
        const RepaintWindowsAfterwards repaint;

        // The desktop's chooser is another program's window: while it is open, the program's own
        // windows take no clicks or keys (a second click on the button that opened it would
        // open another), as under any other dialog. A close request still reaches them.
        juce::Component inputBlocker;
        inputBlocker.enterModalState (false);
        const juce::ScopeGuard endBlocking{ [&inputBlocker] { inputBlocker.exitModalState (0); } };

        // The desktop's chooser takes a moment to start (a second and more on a busy computer):
        // the busy cursor says at once that the click was taken.
        juce::MouseCursor::showWaitCursor();
        const juce::ScopeGuard endWaitCursor{ [] { juce::MouseCursor::hideWaitCursor(); } };

        auto chooser = std::make_unique<juce::FileChooser> (title, initialFile, pattern, true);
        std::optional<juce::File> answer;
        chooser->launchAsync (flags, [&answer] (const juce::FileChooser& done) { answer = done.getResult(); });

        while (! answer.has_value() && ! QuitRequest::isRaised())
            juce::MessageManager::getInstance()->runDispatchLoopUntil (20);

        chooser.reset();
        return QuitRequest::isRaised() ? juce::File() : answer.value_or (juce::File());
    }
} // namespace

void JuceDialogs::showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    const RepaintWindowsAfterwards repaint;
    GUIMessageBox (toJuceIcon (icon), title, message, false).runModally();
}

bool JuceDialogs::showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    const RepaintWindowsAfterwards repaint;
    return GUIMessageBox (toJuceIcon (icon), title, message, true).runModally();
}

int JuceDialogs::ask (const DialogQuestion& question)
{
    const RepaintWindowsAfterwards repaint;
    juce::AlertWindow window (question.title, question.message, toJuceIcon (question.icon));
    juce::String lettersTaken;

    for (int i = 0; i < question.choices.size(); ++i)
    {
        const auto& text = question.choices[i];
        const auto letter = juce::CharacterFunctions::toLowerCase (text[0]);
        const auto firstLetter = lettersTaken.containsChar (letter) ? juce::KeyPress() : juce::KeyPress ((int) letter);
        lettersTaken << juce::String::charToString (letter);

        // A button takes a key once: its letter stands in for Return or Escape where it has neither.
        const auto firstKey = i == question.returnChoice ? juce::KeyPress (juce::KeyPress::returnKey) : firstLetter;
        const auto secondKey = i == question.escapeChoice ? juce::KeyPress (juce::KeyPress::escapeKey)
                               : firstKey == firstLetter  ? juce::KeyPress()
                                                          : firstLetter;
        window.addButton (text, i + 1, firstKey, secondKey);
    }

    // The focused button takes Return itself: the Return choice holds the keyboard first, and
    // Tab goes on through the others in their order.
    int focusOrder = 2;

    for (auto* child : window.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
            button->setExplicitFocusOrder (
                button->getButtonText() == question.choices[question.returnChoice] ? 1 : focusOrder++);

    // Without a Cancel, Escape answers nothing: the question needs its answer.
    window.setEscapeKeyCancels (question.escapeChoice >= 0);
    const int result = window.runModalLoop();
    return result >= 1 && result <= question.choices.size() ? result - 1 : closedWithoutChoice;
}

juce::File JuceDialogs::browseForFileToOpen (const juce::String& title, const juce::String& pattern)
{
    return runFileChooser (title, pattern,
                           juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles);
}

juce::File JuceDialogs::browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                             const juce::File& initialFile)
{
    return runFileChooser (title, pattern,
                           juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                               | juce::FileBrowserComponent::warnAboutOverwriting,
                           initialFile);
}

bool JuceDialogs::showForm (const juce::String& title, const juce::String& message, std::vector<DialogField>& fields)
{
    const RepaintWindowsAfterwards repaint;
    juce::AlertWindow window (title, message, juce::MessageBoxIconType::QuestionIcon);

    for (size_t i = 0; i < fields.size(); ++i)
    {
        const auto& field = fields[i];
        const auto name = juce::String ((int) i);

        if (field.options.isEmpty())
        {
            window.addTextEditor (name, field.value, field.label);
            continue;
        }

        window.addComboBox (name, field.options, field.label);
        window.getComboBoxComponent (name)->setSelectedItemIndex (juce::jmax (0, field.options.indexOf (field.value)));
    }

    window.addButton ("OK", 1, juce::KeyPress (juce::KeyPress::returnKey));
    window.addButton ("Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey));

    if (window.runModalLoop() != 1)
        return false;

    for (size_t i = 0; i < fields.size(); ++i)
    {
        const auto name = juce::String ((int) i);
        fields[i].value = fields[i].options.isEmpty() ? window.getTextEditorContents (name)
                                                      : window.getComboBoxComponent (name)->getText();
    }

    return true;
}

void JuceDialogs::runWithProgressWindow (const ProgressWindowSpec& spec)
{
    const RepaintWindowsAfterwards repaint;
    ProgressWindow window (spec);
    window.runModally();
}

void JuceDialogs::openUrl (const juce::String& url) { juce::URL (url).launchInDefaultBrowser(); }

void JuceDialogs::acceptOkCancelBox (const juce::String& title)
{
    // The box is an AlertWindow named after its title, in a modal loop of its own; its OK
    // button ends that loop with 1.
    auto* box = dynamic_cast<juce::AlertWindow*> (juce::Component::getCurrentlyModalComponent());

    if (box != nullptr && box->getName() == title)
        box->exitModalState (1);
}

} // namespace tarnovelle
