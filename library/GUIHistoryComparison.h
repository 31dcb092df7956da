#pragma once

#include "library/SnapshotComparison.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** One snapshot, or two compared: per sequence its steps on a grid of 64 columns, each note
    at its pitch as in the editor, with the steps that differ marked and both lengths given;
    under it the settings that differ, by their panel names and values.
*/
class GUIHistoryComparison final : public juce::Component
{
public:
    GUIHistoryComparison();
    ~GUIHistoryComparison() override;

    /** Shows b alone when a is empty, nothing when both are; an unreadable snapshot is said
        to be so, and compared with nothing.
    */
    void show (const std::optional<Snapshot>& a, const std::optional<Snapshot>& b);

    const std::optional<SnapshotComparison>& getComparison() const noexcept { return comparison; }

    void paint (juce::Graphics& g) override;

    static juce::String describe (const Snapshot& snapshot);

private:
    void paintSequence (juce::Graphics& g, int index, juce::Rectangle<float> area);

    std::optional<Snapshot> a, b;
    std::optional<SnapshotComparison> comparison;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistoryComparison)
};

} // namespace tarnovelle
