#include "firmware/CryptedDataFile.h"

#include "firmware/Crypter.h"
#include "platform/Platform.h"

#include <cstring>
#include <limits>

namespace tarnovelle
{

CryptedDataFile::CryptedDataFile (const juce::File& file, const juce::String& magic)
    : mFile (file)
{
    const auto* magicBytes = reinterpret_cast<const uint8*> (magic.toRawUTF8());
    mMagic.assign (magicBytes, magicBytes + magic.getNumBytesAsUTF8());

    const auto error = load();

    if (error != LoadError::none)
    {
        mData.free();
        report (error);
    }
}

CryptedDataFile::~CryptedDataFile()
{
    // The stream reads from mData, so it goes first.
    mStream.reset();
}

juce::MemoryInputStream* CryptedDataFile::getPayloadStream()
{
    if (! mLoaded)
        return nullptr;

    if (mStream == nullptr)
        mStream = std::make_unique<juce::MemoryInputStream> (mData.get() + mPayloadOffset, mPayloadSize, false);

    return mStream.get();
}

CryptedDataFile::LoadError CryptedDataFile::load()
{
    // A missing firmware file is reported, never created: an empty file in its place would
    // only hide the problem at the next start.
    if (! mFile.existsAsFile())
        return LoadError::cannotOpen;

    juce::FileInputStream stream (mFile);

    if (! stream.openedOk())
        return LoadError::cannotOpen;

    const auto totalLength = stream.getTotalLength();

    if (totalLength < 0)
        return LoadError::cannotOpen;

    // Shorter than the magic and its separator: this cannot be one of our containers.
    const auto headerLength = mMagic.size() + 1;

    if ((juce::uint64) totalLength < headerLength)
        return LoadError::notAContainer;

    if ((juce::uint64) totalLength > std::numeric_limits<size_t>::max())
        return LoadError::cannotAllocate;

    const auto length = (size_t) totalLength;

    mData.allocate (length, false);

    if (mData == nullptr)
        return LoadError::cannotAllocate;

    if (! readWholeFile (stream, length))
        return LoadError::cannotOpen;

    Crypter crypter (mMagic.data(), (int) mMagic.size());
    crypter.apply (mData.get(), length);

    if (std::memcmp (mData.get(), mMagic.data(), mMagic.size()) != 0)
        return LoadError::notAContainer;

    mPayloadOffset = headerLength;
    mPayloadSize = length - headerLength;
    mLoaded = true;
    return LoadError::none;
}

bool CryptedDataFile::readWholeFile (juce::InputStream& stream, size_t length)
{
    constexpr size_t maxPiece = 1 << 20;

    for (size_t done = 0; done < length;)
    {
        const auto piece = (int) juce::jmin (maxPiece, length - done);

        if (stream.read (mData.get() + done, piece) != piece)
            return false;

        done += (size_t) piece;
    }

    return true;
}

void CryptedDataFile::report (LoadError error)
{
    auto& dialogs = Platform::dialogs();

    switch (error)
    {
        case LoadError::cannotOpen:
            dialogs.showMessageBox (DialogIcon::warning, "Loading error", "Unable to open the data file.");
            break;
        case LoadError::cannotAllocate:
            dialogs.showMessageBox (DialogIcon::warning, "Loading error",
                                    "Unable to allocate memory for this data file.");
            break;
        case LoadError::notAContainer:
            dialogs.showMessageBox (DialogIcon::warning, "Checking error",
                                    "This file is not a Tarnovelle crypted firmware file.");
            break;
        case LoadError::none: break;
    }
}

juce::MemoryBlock CryptedDataFile::encipher (const juce::String& magic, const void* payload, size_t payloadSize,
                                             uint8 separator)
{
    const auto magicSize = magic.getNumBytesAsUTF8();

    juce::MemoryBlock result;
    result.append (magic.toRawUTF8(), magicSize);
    result.append (&separator, 1);

    if (payload != nullptr && payloadSize > 0)
        result.append (payload, payloadSize);

    Crypter crypter (reinterpret_cast<const uint8*> (magic.toRawUTF8()), (int) magicSize);
    crypter.apply (static_cast<uint8*> (result.getData()), result.getSize());
    return result;
}

} // namespace tarnovelle
