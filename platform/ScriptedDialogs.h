#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <mutex>
#include <vector>

namespace tarnovelle
{

/** Dialogs for tests: records every dialog shown and answers from a script.

    OK/Cancel boxes take the next scripted answer (Cancel once the script is empty); questions
    take the next scripted choice, by its button's text (the Escape choice once the script is
    empty, and closed without a choice when there is none);
    file choosers take the next scripted file (cancelled once the script is empty).
    Progress windows run their worker on a thread while the message loop keeps running.
*/
class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind
    {
        messageBox,
        okCancelBox,
        openChooser,
        saveChooser,
        progressWindow,
        url,
        form,
        question
    };

    struct Record
    {
        Kind kind;
        DialogIcon icon;
        juce::String title;
        juce::String message;
        juce::File initialFile;               // a save chooser's proposal
        std::vector<DialogField> fields = {}; // a form's questions as asked
        juce::StringArray choices = {};       // a question's buttons, left to right
        int returnChoice = -1, escapeChoice = -1;
    };

    ScriptedDialogs() = default;

    void answerOkCancel (bool ok);
    void answerFile (const juce::File& file);

    /** The next question is answered with the button of this text; an empty text closes it
        without a choice, as a quit does.
    */
    void answerChoice (const juce::String& buttonText);

    /** The next form is answered with these values, field by field; with none left, a form
        is cancelled.
    */
    void answerForm (const juce::StringArray& values);

    /** Called while a progress window is open, on the message thread, before its worker starts. */
    std::function<void (const ProgressWindowSpec&)> onProgressWindow;

    /** Called for every message box, OK/Cancel box or question, after it was recorded. */
    std::function<void (const Record&)> onDialog;

    std::vector<Record> getRecords() const;
    std::vector<Record> getRecords (Kind kind) const;
    int count (Kind kind) const;
    void clear();

    void showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message) override;
    bool showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message) override;
    int ask (const DialogQuestion& question) override;
    juce::File browseForFileToOpen (const juce::String& title, const juce::String& pattern) override;
    juce::File browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                    const juce::File& initialFile = {}) override;
    bool showForm (const juce::String& title, const juce::String& message, std::vector<DialogField>& fields) override;
    void runWithProgressWindow (const ProgressWindowSpec& spec) override;
    void openUrl (const juce::String& url) override;

private:
    void record (Kind kind, DialogIcon icon, const juce::String& title, const juce::String& message);
    void record (const Record& r);
    juce::File nextFile();

    mutable std::mutex mutex;
    std::vector<Record> records;
    std::deque<bool> okCancelAnswers;
    std::deque<juce::File> fileAnswers;
    std::deque<juce::String> choiceAnswers;
    std::deque<juce::StringArray> formAnswers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ScriptedDialogs)
};

} // namespace tarnovelle
