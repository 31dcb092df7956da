#pragma once

#include "link/LinkMessage.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** The set a project keeps: the eight sequences as strips of steps (as the History window
    previews them, a cell per step, rests dimmed) and the fourteen settings by their panel names.
*/
class RecallSetView final : public juce::Component
{
public:
    RecallSetView() = default;

    void setSet (const std::optional<KeptSet>& setToShow);

    void paint (juce::Graphics& g) override;

private:
    void paintSequences (juce::Graphics& g, juce::Rectangle<float> area) const;
    void paintSettings (juce::Graphics& g, juce::Rectangle<int> area) const;

    std::optional<KeptSet> set;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecallSetView)
};

} // namespace tarnovelle
