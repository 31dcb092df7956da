#pragma once

#include "library/Snapshot.h"

#include <vector>

namespace tarnovelle
{

/** What differs between two snapshots, a and b: per sequence the lengths and the steps that
    differ, and the settings whose known values differ.
*/
struct SnapshotComparison
{
    struct SequenceDifference
    {
        int lengthA = 0;
        int lengthB = 0;

        /** Steps that are in one sequence and not the other, or hold another note or a rest. */
        std::vector<int> differingSteps;

        bool differs() const noexcept { return ! differingSteps.empty(); }
    };

    struct SettingDifference
    {
        DeviceSetting setting;
        std::optional<uint8> a, b;
    };

    std::array<SequenceDifference, numSequences> sequences;
    std::vector<SettingDifference> settings;
    bool firmwareDiffers = false;

    static SnapshotComparison compare (const Snapshot& a, const Snapshot& b);

    bool isEmpty() const noexcept;
    bool stepDiffers (int sequence, int step) const noexcept;

    /** One line per difference, "Sequence 3: length 16 / 32, steps 5, 17-32 differ",
        "Bend Range: 2 / 12"; "No differences." when there are none.
    */
    juce::StringArray describe() const;
};

} // namespace tarnovelle
