#pragma once

#include "sequences/GUIPushButton.h"

namespace tarnovelle
{

/** The maker's page with the instrument's resources and firmware updates. */
extern const char* const update_url;

/** Starts the firmware update: "FIRM ". */
class GUIUpdater final : public GUIPushButton
{
public:
    GUIUpdater()
        : GUIPushButton (broadcasting (Action::firmwareUpdate))
    {}
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIUpdater)
};

/** Opens update_url in the default web browser; broadcasts nothing. */
class GUIWebLink final : public GUIPushButton
{
public:
    GUIWebLink();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIWebLink)
};

} // namespace tarnovelle
