#pragma once

#include "sequences/StepBuffer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

namespace tarnovelle
{

/** A small picture of the steps an import would give: 64 columns, each note a bar at its
    height among the sequence's own lowest and highest notes, rests left empty, a line every
    four steps.
*/
class GUIMidiImportPreview final : public juce::Component, public juce::SettableTooltipClient
{
public:
    GUIMidiImportPreview() = default;

    void setSteps (std::vector<uint8> stepsToShow);
    const std::vector<uint8>& getSteps() const noexcept { return steps; }

    void paint (juce::Graphics& g) override;

private:
    std::vector<uint8> steps;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIMidiImportPreview)
};

} // namespace tarnovelle
