#include "platform/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    bool writeAll (int handle, const char* bytes, size_t size)
    {
        while (size > 0)
        {
            const auto numWritten = write (handle, bytes, size);

            if (numWritten < 0 && errno == EINTR)
                continue;

            if (numWritten <= 0)
                return false;

            bytes += numWritten;
            size -= (size_t) numWritten;
        }

        return true;
    }

    /** The reason the last call to the system failed, in its own words. */
    juce::Result systemFailure() { return juce::Result::fail (std::strerror (errno)); }
} // namespace

juce::Result replaceFileWhole (const juce::File& target, const juce::String& text)
{
    const auto folder = target.getParentDirectory();

    if (const auto made = folder.createDirectory(); made.failed())
        return made;

    // mkostemp picks the name and creates the file in one step: two writers never share one,
    // as they may with a name chosen first and created afterwards.
    auto temporary = folder.getChildFile ("." + target.getFileName() + ".XXXXXX").getFullPathName().toStdString();
    const int handle = mkostemp (temporary.data(), O_CLOEXEC);

    if (handle < 0)
        return systemFailure();

    const auto bytes = text.toStdString();
    bool written = writeAll (handle, bytes.data(), bytes.size()) && fsync (handle) == 0;
    auto result = written ? juce::Result::ok() : systemFailure();

    if (close (handle) != 0 && written)
    {
        written = false;
        result = systemFailure();
    }

    if (written && std::rename (temporary.c_str(), target.getFullPathName().toRawUTF8()) == 0)
        return juce::Result::ok();

    if (written)
        result = systemFailure();

    unlink (temporary.c_str());
    return result;
}

juce::MemoryBlock readFileWhole (const juce::File& file, size_t maxBytes)
{
    const int handle = open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_CLOEXEC);

    if (handle < 0)
        return {};

    std::string bytes;
    char buffer[4096];

    for (ssize_t numRead; (numRead = read (handle, buffer, sizeof (buffer))) != 0;)
    {
        if (numRead < 0 && errno == EINTR)
            continue;

        if (numRead < 0 || bytes.size() + (size_t) numRead > maxBytes)
        {
            bytes.clear();
            break;
        }

        bytes.append (buffer, (size_t) numRead);
    }

    close (handle);
    return { bytes.data(), bytes.size() };
}

} // namespace tarnovelle
