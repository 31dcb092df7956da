// The committed corpus of every fuzz target, replayed through the targets' own checks in the
// ordinary test build, so that an input that once made a target fail keeps being checked.

#include <gtest/gtest.h>

// The fuzz targets, as ordinary functions.
#define TARNOVELLE_FUZZ_REPLAY 1
#include "fuzz/fuzz_acknowledgement.cpp"
#include "fuzz/fuzz_firmware_container.cpp"
#include "fuzz/fuzz_identity_reply.cpp"
#include "fuzz/fuzz_kept_working_set.cpp"
#include "fuzz/fuzz_link_message.cpp"
#include "fuzz/fuzz_midi_import.cpp"
#include "fuzz/fuzz_reply_matcher.cpp"
#include "fuzz/fuzz_sequence_file.cpp"
#include "fuzz/fuzz_snapshot_content.cpp"
#include "fuzz/fuzz_sysex_message.cpp"
#include "fuzz/fuzz_xsettings.cpp"

#include <utility>

using namespace tarnovelle;

// Every input committed under fuzz/corpus/: the seeds, and each input that once made a fuzz
// target fail, run through the targets' own checks.
TEST (FuzzCorpus, EveryCommittedInputPassesItsTarget)
{
    const juce::File corpus (TARNOVELLE_FUZZ_CORPUS);
    const std::pair<const char*, int (*) (const uint8_t*, size_t)> targets[] = {
        { "acknowledgement", fuzzAcknowledgement },
        { "firmware_container", fuzzFirmwareContainer },
        { "identity_reply", fuzzIdentityReply },
        { "kept_working_set", fuzzKeptWorkingSet },
        { "link_message", fuzzLinkMessage },
        { "midi_import", fuzzMidiImport },
        { "reply_matcher", fuzzReplyMatcher },
        { "sequence_file", fuzzSequenceFile },
        { "snapshot_content", fuzzSnapshotContent },
        { "sysex_message", fuzzSysexMessage },
        { "xsettings", fuzzXSettings }
    };

    for (auto& [name, run] : targets)
    {
        const auto files = corpus.getChildFile (name).findChildFiles (juce::File::findFiles, false);
        EXPECT_GE (files.size(), 5) << name;

        for (auto& file : files)
        {
            juce::MemoryBlock input;
            ASSERT_TRUE (file.loadFileAsData (input)) << file.getFullPathName();
            EXPECT_EQ (run (static_cast<const uint8_t*> (input.getData()), input.getSize()), 0)
                << file.getFullPathName();
        }
    }
}
