#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

namespace tarnovelle
{

using juce::uint8;

/** The enciphered container of the firmware file.

    Before enciphering the file holds the magic text (N bytes, no terminator), one separator
    byte whose value is ignored, and then the payload up to the end of the file. The whole
    file is enciphered with a Crypter keyed with the magic itself.

    Constructing the object loads, deciphers and checks the file; a failure is told to the
    user with one warning box, and the container then has no payload. The program only reads
    containers; encipher() exists for the build tool that writes the shipped file.
*/
class CryptedDataFile final
{
public:
    CryptedDataFile (const juce::File& file, const juce::String& magic);
    ~CryptedDataFile();

    /** The stream over the payload, created on the first call; later calls return the same
        stream, so reading goes on where the previous reader stopped. nullptr when the file
        could not be loaded.
    */
    juce::MemoryInputStream* getPayloadStream();

    bool hasPayload() const noexcept { return mLoaded; }
    size_t getPayloadSize() const noexcept { return mPayloadSize; }
    const juce::File& getFile() const noexcept { return mFile; }

    /** The enciphered bytes of a container holding the payload. */
    static juce::MemoryBlock encipher (const juce::String& magic, const void* payload, size_t payloadSize,
                                       uint8 separator = 0);

private:
    enum class LoadError
    {
        none,
        cannotOpen,
        cannotAllocate,
        notAContainer
    };

    LoadError load();
    bool readWholeFile (juce::InputStream& stream, size_t length);
    static void report (LoadError error);

    juce::File mFile;
    std::vector<uint8> mMagic;

    // The deciphered file; the payload is the part after the magic and the separator.
    juce::HeapBlock<uint8> mData;
    size_t mPayloadOffset = 0;
    size_t mPayloadSize = 0;
    bool mLoaded = false;

    std::unique_ptr<juce::MemoryInputStream> mStream;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CryptedDataFile)
};

} // namespace tarnovelle
