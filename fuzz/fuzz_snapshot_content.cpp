// A snapshot's content as the library stores it: bytes decode only when they are exactly what
// encoding the decoded snapshot writes (so a damaged or cut content never passes for another
// state), and bytes that do not decode leave the snapshot as it was.

#include "fuzz/FuzzTarget.h"
#include "library/Snapshot.h"

TARNOVELLE_FUZZ_TARGET (fuzzSnapshotContent, 0, 0)
{
    Snapshot snapshot;
    snapshot.sequences[0].fill (60);
    snapshot.firmware = Snapshot::FirmwareVersion{ 1, 0, 3, 2 };
    const auto before = snapshot.encodeContent();

    const bool decoded = snapshot.decodeContent (bytes, (size_t) count);

    TARNOVELLE_FUZZ_CHECK (snapshot.encodeContent() == (decoded ? juce::MemoryBlock (bytes, (size_t) count) : before));
}
