#pragma once

#include "sequences/GUIPushButton.h"

namespace tarnovelle
{

/** Resets the instrument's eight sequences to their factory content: "FCSQ ". */
class GUISeqFactory final : public GUIPushButton
{
public:
    GUISeqFactory()
        : GUIPushButton (broadcasting (Action::factorySequences))
    {}
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISeqFactory)
};

/** Loads a sequence file into the instrument: "LDSQ ". */
class GUISeqLoad final : public GUIPushButton
{
public:
    GUISeqLoad()
        : GUIPushButton (broadcasting (Action::loadSequences))
    {}
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISeqLoad)
};

/** Saves the instrument's sequences to a file: "SVSQ ". */
class GUISeqSave final : public GUIPushButton
{
public:
    GUISeqSave()
        : GUIPushButton (broadcasting (Action::saveSequences))
    {}
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISeqSave)
};

/** Opens the sequence editor, connected or not: "EDSQ ". */
class GUISeqEdit final : public GUIPushButton
{
public:
    GUISeqEdit()
        : GUIPushButton (broadcasting (Action::openSequenceEditor))
    {}
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISeqEdit)
};

} // namespace tarnovelle
