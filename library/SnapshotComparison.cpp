#include "library/SnapshotComparison.h"

#include "library/SettingTexts.h"

#include <algorithm>

namespace tarnovelle
{

namespace
{
    /** "5, 17-32": runs of adjacent steps, numbered from 1. */
    juce::String describeSteps (const std::vector<int>& steps)
    {
        juce::StringArray runs;

        for (size_t i = 0; i < steps.size();)
        {
            size_t end = i;

            while (end + 1 < steps.size() && steps[end + 1] == steps[end] + 1)
                ++end;

            runs.add (end == i ? juce::String (steps[i] + 1)
                               : juce::String (steps[i] + 1) + "-" + juce::String (steps[end] + 1));
            i = end + 1;
        }

        return runs.joinIntoString (", ");
    }
} // namespace

SnapshotComparison SnapshotComparison::compare (const Snapshot& a, const Snapshot& b)
{
    SnapshotComparison result;

    for (int index = 0; index < numSequences; ++index)
    {
        const auto& stepsA = a.sequences[(size_t) index];
        const auto& stepsB = b.sequences[(size_t) index];
        auto& difference = result.sequences[(size_t) index];
        difference.lengthA = getSequenceLength (stepsA);
        difference.lengthB = getSequenceLength (stepsB);

        // A step only one of them has differs too, whatever the buffer holds past the end.
        for (int step = 0; step < std::max (difference.lengthA, difference.lengthB); ++step)
        {
            const auto stepA = step < difference.lengthA ? stepsA[(size_t) step] : endOfSequenceStep;
            const auto stepB = step < difference.lengthB ? stepsB[(size_t) step] : endOfSequenceStep;

            if (stepA != stepB)
                difference.differingSteps.push_back (step);
        }
    }

    for (int i = 0; i < numDeviceSettings; ++i)
    {
        const auto valueA = a.settings[(size_t) i];
        const auto valueB = b.settings[(size_t) i];

        // A setting known on one side only is no difference the user could act on.
        if (valueA.has_value() && valueB.has_value() && *valueA != *valueB)
            result.settings.push_back ({ getDeviceSettingTable()[(size_t) i].setting, valueA, valueB });
    }

    result.firmwareDiffers = a.firmware.has_value() && b.firmware.has_value() && *a.firmware != *b.firmware;
    return result;
}

bool SnapshotComparison::isEmpty() const noexcept
{
    return settings.empty() && ! firmwareDiffers
           && std::none_of (sequences.begin(), sequences.end(), [] (auto& s) { return s.differs(); });
}

bool SnapshotComparison::stepDiffers (int sequence, int step) const noexcept
{
    const auto& steps = sequences[(size_t) sequence].differingSteps;
    return std::binary_search (steps.begin(), steps.end(), step);
}

juce::StringArray SnapshotComparison::describe() const
{
    juce::StringArray lines;

    for (int index = 0; index < numSequences; ++index)
    {
        const auto& difference = sequences[(size_t) index];

        if (! difference.differs())
            continue;

        juce::String line ("Sequence " + juce::String (index + 1) + ": ");

        if (difference.lengthA != difference.lengthB)
            line << "length " << difference.lengthA << " / " << difference.lengthB << ", ";

        line << (difference.differingSteps.size() == 1 ? "step " : "steps ")
             << describeSteps (difference.differingSteps)
             << (difference.differingSteps.size() == 1 ? " differs" : " differ");
        lines.add (line);
    }

    for (const auto& setting : settings)
        lines.add (getSettingPanelName (setting.setting) + ": " + describeSettingValue (setting.setting, setting.a)
                   + " / " + describeSettingValue (setting.setting, setting.b));

    if (firmwareDiffers)
        lines.add ("Firmware differs");

    if (lines.isEmpty())
        lines.add ("No differences.");

    return lines;
}

} // namespace tarnovelle
