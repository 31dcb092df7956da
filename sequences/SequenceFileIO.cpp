#include "sequences/SequenceFileIO.h"

namespace tarnovelle
{

namespace
{
    juce::String cannotReadMessage (const juce::File& file)
    {
        return "Unable to read the file:\n" + file.getFullPathName();
    }

    juce::String tooLargeMessage (const juce::File& file)
    {
        return "The file is larger than 1 MiB, so it cannot be a sequence file:\n" + file.getFullPathName();
    }
} // namespace

SequenceFileRead readSequenceFileText (const juce::File& file, std::string& text, juce::String& message)
{
    const auto unreadable = [&message] (juce::String why) {
        message = std::move (why);
        return SequenceFileRead::unreadable;
    };

    if (! file.existsAsFile())
        return unreadable (cannotReadMessage (file));

    if (file.getSize() > maxSequenceFileSize)
        return unreadable (tooLargeMessage (file));

    juce::FileInputStream in (file);

    if (! in.openedOk())
        return unreadable (cannotReadMessage (file));

    // Read one byte more than allowed, in case the file grew or reports no size.
    juce::MemoryBlock block;
    const auto numRead = in.readIntoMemoryBlock (block, (ssize_t) maxSequenceFileSize + 1);

    if (in.getStatus().failed())
        return unreadable (cannotReadMessage (file));

    if ((juce::int64) numRead > maxSequenceFileSize)
        return unreadable (tooLargeMessage (file));

    if (! decodeSequenceFileText (block.getData(), block.getSize(), text, message))
        return SequenceFileRead::notText;

    return SequenceFileRead::ok;
}

bool replaceFileWithData (const juce::File& target, const void* data, size_t numBytes)
{
    const juce::TemporaryFile temporary (target, juce::TemporaryFile::useHiddenFile);

    {
        juce::FileOutputStream out (temporary.getFile());

        if (! out.openedOk() || (numBytes > 0 && ! out.write (data, numBytes)))
            return false;

        out.flush();

        if (out.getStatus().failed())
            return false;
    }

    return temporary.overwriteTargetFileWithTemporary();
}

} // namespace tarnovelle
