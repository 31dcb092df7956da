#include "platform/ScriptedDialogs.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"

#include <atomic>

namespace tarnovelle
{

namespace
{
    /** Runs a progress window's worker on a thread of its own, as a progress window does. */
    class WorkerThread final : public juce::Thread, private ProgressReporter
    {
    public:
        explicit WorkerThread (const ProgressWindowSpec& specToRun)
            : juce::Thread (specToRun.title)
            , spec (specToRun)
        {}

        ~WorkerThread() override { stopThread (10000); }

        void run() override
        {
            if (spec.work)
                spec.work (*this);

            finished.store (true, std::memory_order_release);
        }

        bool hasFinished() const { return finished.load (std::memory_order_acquire); }

        double getProgress() const { return progress.load(); }

    private:
        void setProgress (double newProgress) override { progress.store (newProgress); }
        void setStatusMessage (const juce::String&) override {}
        bool threadShouldExit() const override { return juce::Thread::threadShouldExit(); }

        const ProgressWindowSpec& spec;
        std::atomic<bool> finished{ false };
        std::atomic<double> progress{ 0.0 };
    };
} // namespace

void ScriptedDialogs::answerOkCancel (bool ok)
{
    const std::lock_guard<std::mutex> lock (mutex);
    okCancelAnswers.push_back (ok);
}

void ScriptedDialogs::answerChoice (const juce::String& buttonText)
{
    const std::lock_guard<std::mutex> lock (mutex);
    choiceAnswers.push_back (buttonText);
}

void ScriptedDialogs::answerFile (const juce::File& file)
{
    const std::lock_guard<std::mutex> lock (mutex);
    fileAnswers.push_back (file);
}

std::vector<ScriptedDialogs::Record> ScriptedDialogs::getRecords() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return records;
}

std::vector<ScriptedDialogs::Record> ScriptedDialogs::getRecords (Kind kind) const
{
    std::vector<Record> result;

    for (auto& r : getRecords())
        if (r.kind == kind)
            result.push_back (r);

    return result;
}

int ScriptedDialogs::count (Kind kind) const { return (int) getRecords (kind).size(); }

void ScriptedDialogs::clear()
{
    const std::lock_guard<std::mutex> lock (mutex);
    records.clear();
    okCancelAnswers.clear();
    fileAnswers.clear();
    choiceAnswers.clear();
    formAnswers.clear();
}

void ScriptedDialogs::answerForm (const juce::StringArray& values)
{
    const std::lock_guard<std::mutex> lock (mutex);
    formAnswers.push_back (values);
}

void ScriptedDialogs::record (Kind kind, DialogIcon icon, const juce::String& title, const juce::String& message)
{
    record (Record{ kind, icon, title, message, {}, {} });
}

void ScriptedDialogs::record (const Record& r)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        records.push_back (r);
    }

    if (onDialog && (r.kind == Kind::messageBox || r.kind == Kind::okCancelBox || r.kind == Kind::question))
        onDialog (r);
}

void ScriptedDialogs::showMessageBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    record (Kind::messageBox, icon, title, message);
}

bool ScriptedDialogs::showOkCancelBox (DialogIcon icon, const juce::String& title, const juce::String& message)
{
    record (Kind::okCancelBox, icon, title, message);

    const std::lock_guard<std::mutex> lock (mutex);

    if (okCancelAnswers.empty())
        return false;

    auto answer = okCancelAnswers.front();
    okCancelAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::ask (const DialogQuestion& question)
{
    Record r{ Kind::question, question.icon, question.title, question.message, {}, {} };
    r.choices = question.choices;
    r.returnChoice = question.returnChoice;
    r.escapeChoice = question.escapeChoice;
    record (r);

    const std::lock_guard<std::mutex> lock (mutex);

    if (choiceAnswers.empty())
        return question.escapeChoice;

    const auto answer = choiceAnswers.front();
    choiceAnswers.pop_front();

    // A script that names a button the question does not have is a mistake of the test.
    jassert (answer.isEmpty() || question.choices.contains (answer));
    return answer.isEmpty() ? closedWithoutChoice : question.choices.indexOf (answer);
}

juce::File ScriptedDialogs::nextFile()
{
    const std::lock_guard<std::mutex> lock (mutex);

    if (fileAnswers.empty())
        return {};

    auto file = fileAnswers.front();
    fileAnswers.pop_front();
    return file;
}

juce::File ScriptedDialogs::browseForFileToOpen (const juce::String& title, const juce::String& pattern)
{
    record (Kind::openChooser, DialogIcon::none, title, pattern);
    return nextFile();
}

juce::File ScriptedDialogs::browseForFileToSave (const juce::String& title, const juce::String& pattern,
                                                 const juce::File& initialFile)
{
    record (Record{ Kind::saveChooser, DialogIcon::none, title, pattern, initialFile });
    return nextFile();
}

bool ScriptedDialogs::showForm (const juce::String& title, const juce::String& message,
                                std::vector<DialogField>& fields)
{
    record (Record{ Kind::form, DialogIcon::none, title, message, {}, fields });
    juce::StringArray answers;

    {
        const std::lock_guard<std::mutex> lock (mutex);

        if (formAnswers.empty())
            return false;

        answers = formAnswers.front();
        formAnswers.pop_front();
    }

    for (size_t i = 0; i < fields.size() && (int) i < answers.size(); ++i)
        fields[i].value = answers[(int) i];

    return true;
}

void ScriptedDialogs::runWithProgressWindow (const ProgressWindowSpec& spec)
{
    record (Kind::progressWindow, DialogIcon::none, spec.title, spec.statusMessage);

    if (onProgressWindow)
        onProgressWindow (spec);

    WorkerThread worker (spec);
    worker.startThread();

    // A real progress window runs a modal loop while its thread works, and a quit ends it,
    // asking the worker to stop.
    while (! worker.hasFinished() && ! QuitRequest::isRaised())
        Platform::runMessageLoopFor (5);

    worker.stopThread (10000);
}

void ScriptedDialogs::openUrl (const juce::String& url) { record (Kind::url, DialogIcon::none, url, {}); }

} // namespace tarnovelle
