#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <vector>

namespace tarnovelle
{

enum class DialogIcon
{
    none,
    info,
    warning
};

/** What a worker running under a progress window may ask of it. */
class ProgressReporter
{
public:
    virtual ~ProgressReporter() = default;

    virtual void setProgress (double newProgress) = 0;
    virtual void setStatusMessage (const juce::String& message) = 0;
    virtual bool threadShouldExit() const = 0;
};

/** Settings of a modal progress window: title, status text, and the worker it runs. */
struct ProgressWindowSpec
{
    juce::String title;
    juce::String statusMessage;
    int threadPriority = 5;
    std::function<void (ProgressReporter&)> work;
};

/** One question of a form: a choice among options, or a text to type when there are none.
    `value` holds the proposed answer on the way in and the user's answer on the way out.
*/
struct DialogField
{
    juce::String label;
    juce::StringArray options;
    juce::String value;
};

/** A question whose buttons name what they do: at most three, as the desktop's boxes allow.

    Return answers `returnChoice`, the safe one where another choice destroys work; Escape
    answers `escapeChoice` (the Cancel), or nothing when it is -1. Each button also answers to
    the first letter of its text, as JUCE's own boxes do.
*/
struct DialogQuestion
{
    DialogIcon icon = DialogIcon::warning;
    juce::String title;
    juce::String message;
    juce::StringArray choices;
    int returnChoice = 0;
    int escapeChoice = -1;
};

/** Every dialog the program shows goes through here, so tests can script the answers.

    All calls are made on the message thread and are modal: they return the user's answer.
*/
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    virtual void showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message) = 0;

    /** Returns true when the user pressed OK. */
    virtual bool showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message) = 0;

    /** What ask returns for a box closed without a choice: the program was asked to end, or
        the box's window was closed. Never the index of a button.
    */
    static constexpr int closedWithoutChoice = -1;

    /** Returns the index of the choice the user made, or closedWithoutChoice. */
    virtual int ask (const DialogQuestion& question) = 0;

    /** Returns a default-constructed File when the user cancelled. */
    virtual juce::File browseForFileToOpen (const juce::String& title, const juce::String& pattern) = 0;

    /** Returns a default-constructed File when the user cancelled; warns before overwriting.
        The chooser proposes `initialFile` when one is given.
    */
    virtual juce::File browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                            const juce::File& initialFile = {}) = 0;

    /** Asks the fields' questions in one window; returns true, with the answers, on OK. */
    virtual bool showForm (const juce::String& title, const juce::String& message,
                           std::vector<DialogField>& fields) = 0;

    /** Shows a modal progress window while spec.work runs on a thread of its own. */
    virtual void runWithProgressWindow (const ProgressWindowSpec& spec) = 0;

    /** Opens a web page in the default browser. */
    virtual void openUrl (const juce::String& url) = 0;

    /** Closes the OK/Cancel box of that title, if it is the one waiting for its answer, as if
        its user had pressed OK: for a question the program has meanwhile answered itself.
    */
    virtual void acceptOkCancelBox (const juce::String& /*title*/) {}
};

} // namespace tarnovelle
