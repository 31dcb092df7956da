// The firmware container: any file is either refused with one box, or yields the payload
// that follows the magic and its separator, all of it and nothing more.

#include "firmware/CryptedDataFile.h"
#include "firmware/Crypter.h"
#include "firmware/FirmwareFile.h"
#include "fuzz/FuzzTarget.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"

#include <cstring>

// Input: a flag byte (bit 0: the rest is the plain text, magic and separator included, to be
// enciphered as the build tool does, so the fuzzer reaches the payload without having to
// guess the cipher), then the file.
TARNOVELLE_FUZZ_TARGET (fuzzFirmwareContainer, 1, 0)
{
    static ScriptedDialogs dialogs;
    static const juce::TemporaryFile file (".tvk");

    const juce::String magic (FirmwareFile::magic);
    const auto magicSize = (size_t) magic.getNumBytesAsUTF8();
    juce::MemoryBlock contents (bytes, (size_t) count);

    if ((header[0] & 1) != 0)
        Crypter (reinterpret_cast<const uint8*> (magic.toRawUTF8()), (int) magicSize)
            .apply (static_cast<uint8*> (contents.getData()), contents.getSize());

    TARNOVELLE_FUZZ_CHECK (file.getFile().replaceWithData (contents.getData(), contents.getSize()));

    // The container tells the user through the dialogs; they are ours for this input only.
    dialogs.clear();
    Platform::setDialogs (&dialogs);
    const juce::ScopeGuard uninstall{ [] { Platform::setDialogs (nullptr); } };

    CryptedDataFile container (file.getFile(), magic);
    const auto boxes = dialogs.getRecords();

    if (! container.hasPayload())
    {
        TARNOVELLE_FUZZ_CHECK (container.getPayloadStream() == nullptr);
        TARNOVELLE_FUZZ_CHECK (boxes.size() == 1);
        TARNOVELLE_FUZZ_CHECK (boxes[0].title == "Checking error" || boxes[0].title == "Loading error");
        return;
    }

    TARNOVELLE_FUZZ_CHECK (boxes.empty());
    TARNOVELLE_FUZZ_CHECK (contents.getSize() >= magicSize + 1);
    TARNOVELLE_FUZZ_CHECK (container.getPayloadSize() == contents.getSize() - magicSize - 1);

    // Reading the stream to its end delivers the payload, and reading on delivers nothing.
    auto* stream = container.getPayloadStream();
    TARNOVELLE_FUZZ_CHECK (stream != nullptr && stream == container.getPayloadStream());
    juce::MemoryBlock payload;
    stream->readIntoMemoryBlock (payload);
    TARNOVELLE_FUZZ_CHECK (payload.getSize() == container.getPayloadSize());
    char extra;
    TARNOVELLE_FUZZ_CHECK (stream->read (&extra, 1) == 0);

    // The payload enciphered again as the build tool does gives back the file's payload bytes.
    const auto again = CryptedDataFile::encipher (magic, payload.getData(), payload.getSize());
    TARNOVELLE_FUZZ_CHECK (again.getSize() == contents.getSize());
    TARNOVELLE_FUZZ_CHECK (
        std::memcmp (again.begin() + magicSize + 1, contents.begin() + magicSize + 1, payload.getSize()) == 0);
}
