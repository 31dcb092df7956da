// Writes where the end-to-end tests click and look, in main-window coordinates, as JSON, from
// the same geometry table the windows are laid out with (and the height of the editor's and the
// History window's menu bars), together with the version of the shipped firmware:
//
//     e2e_geometry <output.json>

#include "app/CommandTable.h"
#include "firmware/FirmwareFile.h"
#include "protocol/DeviceSettings.h"
#include "settings/PanelGeometry.h"

#include <juce_core/juce_core.h>

namespace
{
using namespace tarnovelle;
using namespace tarnovelle::PanelGeometry;

/** The picture each setting is changed by a click on: a switch, or a knob inside its widget. */
juce::Rectangle<int> controlOf (DeviceSetting setting)
{
    switch (setting)
    {
        case DeviceSetting::MIN: return inWidget (midiChooser, midiInKnob);
        case DeviceSetting::MOUT: return inWidget (midiChooser, midiOutKnob);
        case DeviceSetting::MKEY: return inWidget (keyboard, keyboardModeSwitch);
        case DeviceSetting::LKEY: return inWidget (keyboard, keyboardLegatoSwitch);
        case DeviceSetting::INGN: return inputGain;
        case DeviceSetting::LFO: return lfo;
        case DeviceSetting::VELO: return velocitySelector;
        case DeviceSetting::AFTE: return aftertouchSelector;
        case DeviceSetting::ARP: return arpHold;
        case DeviceSetting::BEND: return inWidget (bendRange, knobButton);
        case DeviceSetting::STEP: return inWidget (stepSize, knobButton);
        case DeviceSetting::GLEN: return gateLen;
        case DeviceSetting::TAP: return tapAvg;
        case DeviceSetting::SYNC: return inWidget (clkSync, knobButton);
    }

    return {};
}

juce::var point (juce::Point<int> p) { return juce::Array<juce::var>{ p.x, p.y }; }

juce::var area (juce::Rectangle<int> r)
{
    return juce::Array<juce::var>{ r.getX(), r.getY(), r.getWidth(), r.getHeight() };
}

/** A tab's rectangle as it lies in the window, below the tab bar. */
juce::Rectangle<int> tabArea (juce::Rectangle<int> r) { return r.withPosition (inWindow (r.getPosition())); }

juce::var describe()
{
    auto* root = new juce::DynamicObject();
    const auto& v = FirmwareFile::version;
    root->setProperty ("firmware", juce::String::formatted ("%d.%d.%d.%d", v[0], v[1], v[2], v[3]));
    root->setProperty ("window", point ({ mainWindowWidth, mainWindowHeight }));
    root->setProperty ("tabBarDepth", tabBarDepth);
    root->setProperty ("menuBarHeight", CommandTable::menuBarHeight);

    auto* controls = new juce::DynamicObject();
    for (auto& info : getDeviceSettingTable())
        controls->setProperty (info.code, point (inWindow (controlOf (info.setting).getCentre())));
    root->setProperty ("controls", controls);

    root->setProperty ("bendKnob", area (tabArea (controlOf (DeviceSetting::BEND))));
    root->setProperty ("syncKnob", area (tabArea (controlOf (DeviceSetting::SYNC))));
    root->setProperty ("lamp", point (connectSwitch.getCentre()));
    root->setProperty ("lampArea", area (connectSwitch));
    root->setProperty ("seqLoad", point (inWindow (seqLoadButton.getCentre())));
    root->setProperty ("seqSave", point (inWindow (seqSaveButton.getCentre())));
    root->setProperty ("seqEdit", point (inWindow (seqEditButton.getCentre())));
    root->setProperty ("seqFactory", point (inWindow (seqFactoryButton.getCentre())));
    return root;
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: e2e_geometry <output.json>\n");
        return 2;
    }

    const juce::File output (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    output.getParentDirectory().createDirectory();
    return output.replaceWithText (juce::JSON::toString (describe()) + "\n") ? 0 : 1;
}
