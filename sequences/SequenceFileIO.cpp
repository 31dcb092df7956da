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

std::string decodeSequenceFileText (const void* data, size_t numBytes)
{
    return juce::String::createStringFromData (data, (int) numBytes).toStdString();
}

bool readSequenceFileText (const juce::File& file, std::string& text, juce::String& errorMessage)
{
    if (! file.existsAsFile())
    {
        errorMessage = cannotReadMessage (file);
        return false;
    }

    if (file.getSize() > maxSequenceFileSize)
    {
        errorMessage = tooLargeMessage (file);
        return false;
    }

    juce::FileInputStream in (file);

    if (! in.openedOk())
    {
        errorMessage = cannotReadMessage (file);
        return false;
    }

    // Read one byte more than allowed, in case the file grew or reports no size.
    juce::MemoryBlock block;
    const auto numRead = in.readIntoMemoryBlock (block, (ssize_t) maxSequenceFileSize + 1);

    if (in.getStatus().failed())
    {
        errorMessage = cannotReadMessage (file);
        return false;
    }

    if ((juce::int64) numRead > maxSequenceFileSize)
    {
        errorMessage = tooLargeMessage (file);
        return false;
    }

    text = decodeSequenceFileText (block.getData(), block.getSize());
    return true;
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
