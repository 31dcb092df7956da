// The link's reader, as the program runs it on what a plug-in sends: the bytes arrive in pieces
// of the size the first byte gives, frames come out whole or the reader fails on a length
// above the limit, and every payload either decodes into a message that survives being written
// and read again, or is refused with a reason.

#include "fuzz/FuzzTarget.h"
#include "link/LinkFrame.h"
#include "link/LinkMessage.h"

namespace tarnovelle::fuzz
{
void checkLinkPayload (const juce::MemoryBlock& payload)
{
    TARNOVELLE_FUZZ_CHECK (payload.getSize() <= (size_t) maxLinkMessageBytes);

    juce::String problem;
    const auto message = decodeLinkMessage (payload.getData(), payload.getSize(), problem);

    if (! message.has_value())
    {
        TARNOVELLE_FUZZ_CHECK (problem.isNotEmpty());
        return;
    }

    TARNOVELLE_FUZZ_CHECK (problem.isEmpty());
    TARNOVELLE_FUZZ_CHECK (message->lines.size() <= maxLinkMessageLines);

    const auto again = encodeLinkMessage (*message);
    const auto reread = decodeLinkMessage (again.getData(), again.getSize(), problem);
    TARNOVELLE_FUZZ_CHECK (reread.has_value());
    TARNOVELLE_FUZZ_CHECK (reread->type == message->type && reread->requestId == message->requestId);
    TARNOVELLE_FUZZ_CHECK (reread->set == message->set);
    TARNOVELLE_FUZZ_CHECK (reread->error == message->error && reread->differs == message->differs);
    TARNOVELLE_FUZZ_CHECK (reread->lines == message->lines);
}
} // namespace tarnovelle::fuzz

TARNOVELLE_FUZZ_TARGET (fuzzLinkMessage, 1, 0)
{
    LinkFrameReader reader (maxLinkMessageBytes);
    const int piece = juce::jmax (1, (int) header[0]);

    for (int offset = 0; offset < count && ! reader.hasFailed(); offset += piece)
    {
        reader.append (bytes + offset, (size_t) juce::jmin (piece, count - offset));

        while (auto payload = reader.next())
            checkLinkPayload (*payload);
    }

    // The whole input as one payload too, so that the decoder sees every byte of it.
    checkLinkPayload (juce::MemoryBlock (bytes, (size_t) juce::jmin (count, maxLinkMessageBytes)));
}
