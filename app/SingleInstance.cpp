#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    constexpr int pollIntervalMs = 100;

    // The notes of starts older than this, at the moment the lock is taken, were left by an
    // instance that ended without reading them. (File times are only as exact as the kernel's
    // coarse clock, so a note written just after the lock was taken may look a little older.)
    constexpr juce::int64 staleNoteMarginMs = 1000;

    juce::String fileNameFor (const juce::String& applicationName)
    {
        return applicationName.retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    }

    /** The user's own folder: the runtime folder when there is one, otherwise a folder in the
        temporary folder named after the user id, which no other user can use.
    */
    juce::File getUserFolder (const juce::String& applicationName)
    {
        const juce::File runtime (juce::SystemStats::getEnvironmentVariable ("XDG_RUNTIME_DIR", {}));

        if (juce::File::isAbsolutePath (runtime.getFullPathName()) && runtime.isDirectory())
            return runtime.getChildFile (fileNameFor (applicationName));

        return juce::File ("/tmp").getChildFile (fileNameFor (applicationName) + "-" + juce::String ((int) getuid()));
    }

    /** Takes the lock, or returns -1 when another process holds it. */
    int takeLock (const juce::File& folder, const juce::File& lockFile)
    {
        mkdir (folder.getFullPathName().toRawUTF8(), 0700);

        const auto handle = open (lockFile.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

        if (handle < 0)
            return -1;

        if (flock (handle, LOCK_EX | LOCK_NB) != 0)
        {
            close (handle);
            return -1;
        }

        return handle;
    }
} // namespace

//==============================================================================
/** Polls the folder of notes from the message loop and hands each to the callback. */
class SingleInstance::Listener final : private juce::Timer
{
public:
    Listener (const juce::File& folderToWatch, std::function<void (const juce::String&)> callback)
        : startsFolder (folderToWatch)
        , onStart (std::move (callback))
    {
        startTimer (pollIntervalMs);
    }

    ~Listener() override { stopTimer(); }

private:
    void timerCallback() override
    {
        // The callback shows a modal box, whose loop calls the timers again: one at a time.
        if (handling)
            return;

        const juce::ScopedValueSetter<bool> busy (handling, true);

        for (auto& note : startsFolder.findChildFiles (juce::File::findFiles, false, "*.start"))
        {
            const auto commandLine = note.loadFileAsString();

            if (note.deleteFile() && onStart)
                onStart (commandLine);
        }
    }

    const juce::File startsFolder;
    std::function<void (const juce::String&)> onStart;
    bool handling = false;
};

//==============================================================================
SingleInstance::SingleInstance (const juce::String& applicationName)
    : folder (getUserFolder (applicationName))
    , lockFile (folder.getChildFile ("instance.lock"))
    , startsFolder (folder.getChildFile ("starts"))
{
    const auto takenAt = juce::Time::getCurrentTime();
    lockHandle = takeLock (folder, lockFile);

    if (lockHandle < 0)
        return;

    startsFolder.createDirectory();

    for (auto& note : startsFolder.findChildFiles (juce::File::findFiles, false, "*"))
        if (note.getLastModificationTime().toMilliseconds() < takenAt.toMilliseconds() - staleNoteMarginMs)
            note.deleteFile();
}

SingleInstance::~SingleInstance()
{
    listener.reset();

    if (lockHandle >= 0)
        close (lockHandle);
}

bool SingleInstance::notifyRunningInstance (const juce::String& commandLine)
{
    // Written under another name and renamed, so that the running instance reads whole notes.
    const auto name = juce::String ((int) getpid()) + "-" + juce::String::toHexString (juce::Random().nextInt64());
    const auto partial = startsFolder.getChildFile (name + ".partial");

    return partial.replaceWithText (commandLine) && partial.moveFileTo (startsFolder.getChildFile (name + ".start"));
}

void SingleInstance::listen (std::function<void (const juce::String&)> onAnotherInstance)
{
    if (! isAnotherInstanceRunning())
        listener = std::make_unique<Listener> (startsFolder, std::move (onAnotherInstance));
}

} // namespace tarnovelle
