// The firmware container: any file is either refused with one box, or yields the payload
// that follows the magic and its separator, all of it and nothing more.

#include "firmware/CryptedDataFile.h"
#include "firmware/Crypter.h"
#include "firmware/FirmwareFile.h"
#include "fuzz/FuzzTarget.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"

#include <cstring>

namespace tarnovelle::fuzz::firmware_container
{
struct Setting
{
    Setting()
        : file (juce::File::createTempFile (".tvk"))
    {}

    ~Setting() { file.deleteFile(); }

    ScriptedDialogs dialogs;
    const juce::File file;
};

/** The container tells the user through the dialogs; they are ours for one input. */
struct DialogsInstalled
{
    explicit DialogsInstalled (Dialogs& dialogs) { Platform::setDialogs (&dialogs); }
    ~DialogsInstalled() { Platform::setDialogs (nullptr); }
};
} // namespace tarnovelle::fuzz::firmware_container

// Input: a flag byte (bit 0: the rest is the plain text, magic and separator included, to be
// enciphered as the build tool does, so the fuzzer reaches the payload without having to
// guess the cipher), then the file.
TARNOVELLE_FUZZ_TARGET (fuzzFirmwareContainer)
{
    using namespace tarnovelle;

    static fuzz::firmware_container::Setting setting;

    if (size < 1)
        return 0;

    const juce::String magic (FirmwareFile::magic);
    const auto magicSize = (size_t) magic.getNumBytesAsUTF8();
    juce::MemoryBlock contents (data + 1, size - 1);

    if ((data[0] & 1) != 0)
    {
        Crypter crypter (reinterpret_cast<const uint8*> (magic.toRawUTF8()), (int) magicSize);
        crypter.apply (static_cast<uint8*> (contents.getData()), contents.getSize());
    }

    TARNOVELLE_FUZZ_CHECK (setting.file.replaceWithData (contents.getData(), contents.getSize()));
    setting.dialogs.clear();
    const fuzz::firmware_container::DialogsInstalled installed (setting.dialogs);

    CryptedDataFile container (setting.file, magic);
    const auto boxes = setting.dialogs.getRecords();

    if (! container.hasPayload())
    {
        TARNOVELLE_FUZZ_CHECK (container.getPayloadStream() == nullptr);
        TARNOVELLE_FUZZ_CHECK (boxes.size() == 1);
        TARNOVELLE_FUZZ_CHECK (boxes[0].title == "Checking error" || boxes[0].title == "Loading error");
        return 0;
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
    TARNOVELLE_FUZZ_CHECK (std::memcmp (static_cast<const char*> (again.getData()) + magicSize + 1,
                                        static_cast<const char*> (contents.getData()) + magicSize + 1,
                                        payload.getSize())
                           == 0);
    return 0;
}
