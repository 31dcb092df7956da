#include "protocol/ActionVocabulary.h"

namespace tarnovelle
{

const std::array<ActionInfo, 27>& getActionTable() noexcept
{
    using S = DeviceSetting;
    static const std::array<ActionInfo, 27> table{ {
        { "COMI ", Action::connect, std::nullopt, false },
        { "FIRM ", Action::firmwareUpdate, std::nullopt, false },
        { "EDSQ ", Action::openSequenceEditor, std::nullopt, false },
        { "HIST ", Action::openHistory, std::nullopt, false },
        { "MIN  ", Action::setSetting, S::MIN, true },
        { "MOUT ", Action::setSetting, S::MOUT, true },
        { "MKEY ", Action::setSetting, S::MKEY, true },
        { "LKEY ", Action::setSetting, S::LKEY, true },
        { "INGN ", Action::setSetting, S::INGN, true },
        { "LFO  ", Action::setSetting, S::LFO, true },
        { "VELO ", Action::setSetting, S::VELO, true },
        { "AFTE ", Action::setSetting, S::AFTE, true },
        { "ARP  ", Action::setSetting, S::ARP, true },
        { "BEND ", Action::setSetting, S::BEND, true },
        { "STEP ", Action::setSetting, S::STEP, true },
        { "GLEN ", Action::setSetting, S::GLEN, true },
        { "TAP  ", Action::setSetting, S::TAP, true },
        { "SYNC ", Action::setSetting, S::SYNC, true },
        { "FCSQ ", Action::factorySequences, std::nullopt, true },
        { "LDSQ ", Action::loadSequences, std::nullopt, true },
        { "SVSQ ", Action::saveSequences, std::nullopt, true },
        { "RDSQ ", Action::readEditorSequences, std::nullopt, true },
        { "WRSQ ", Action::sendEditorSequences, std::nullopt, true },
        { "RSTR ", Action::restoreSnapshot, std::nullopt, true },
        { "HNOW ", Action::readForComparison, std::nullopt, true },
        { "PLSQ ", Action::playSequence, std::nullopt, true },
        { "STPL ", Action::stopPlaying, std::nullopt, false },
    } };

    return table;
}

const ActionInfo* findAction (const juce::String& message) noexcept
{
    for (auto& info : getActionTable())
        if (message.startsWith (info.prefix))
            return &info;

    return nullptr;
}

juce::String getActionPrefix (DeviceSetting setting)
{
    for (auto& info : getActionTable())
        if (info.setting == setting)
            return info.prefix;

    jassertfalse;
    return {};
}

juce::String getActionPrefix (Action command)
{
    for (auto& info : getActionTable())
        if (info.action == command && ! info.setting.has_value())
            return info.prefix;

    jassertfalse;
    return {};
}

juce::String makeSettingMessage (DeviceSetting setting, juce::uint32 value)
{
    return getActionPrefix (setting) + juce::String (value);
}

uint8 getActionValue (const juce::String& message) noexcept
{
    return (uint8) (message.substring (5).getIntValue() & 0xff);
}

} // namespace tarnovelle
