#include "app/GUIEditorWindow.h"

#include "protocol/ActionVocabulary.h"
#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

namespace
{
    /** Appends a black tab whose content the tabbed component owns and deletes. */
    template <typename Content>
    Content* addTabContent (TabbedComponentWarp& tabs, const juce::String& name)
    {
        auto content = std::make_unique<Content>();
        auto* shown = content.get();
        tabs.addTab (name, juce::Colours::black, content.release(), true);
        return shown;
    }
} // namespace

GUIEditorWindow::GUIEditorWindow()
{
    mTabs = std::make_unique<TabbedComponentWarp> (juce::TabbedButtonBar::TabsAtTop);
    addAndMakeVisible (mTabs.get());
    mTabs->setTabBarDepth (PanelGeometry::tabBarDepth);

    mParametersTab = addTabContent<GUIParametersTab> (*mTabs, "Configuration");
    mFirmwareTab = addTabContent<GUIFirmwareTab> (*mTabs, "Firmware Update");
    mPatternTab = addTabContent<GUIPatternTab> (*mTabs, "Sequences");
    mTabs->setCurrentTabIndex (0, true);

    mConnectButton = std::make_unique<SwitchButton> (juce::String());
    addAndMakeVisible (mConnectButton.get());
    mConnectButton->setButtonText ("CONNECT");
    mConnectButton->addListener (this);
    mConnectButton->setImages (false, true, true, Pictures::lampOff(), 1.0f, juce::Colour (0x9c85796b),
                               Pictures::lampOff(), 1.0f, juce::Colour (0x54c9d22d), Pictures::lampOn(), 1.0f,
                               juce::Colour (0x00378f0b), 0.0f);

    mStatusLabel = std::make_unique<juce::Label> ("new label", "NOT Connected");
    addAndMakeVisible (mStatusLabel.get());
    mStatusLabel->setFont (juce::Font (15.0f, juce::Font::plain));
    mStatusLabel->setJustificationType (juce::Justification::centredRight);
    mStatusLabel->setEditable (false, false, false);
    mStatusLabel->setColour (juce::Label::textColourId, juce::Colour (0xfffffcfc));
    mStatusLabel->setColour (juce::Label::outlineColourId, juce::Colour (0x00000000));
    mStatusLabel->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    mStatusLabel->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));

    mTabs->addTabListener (this);
    mKeyboard = std::make_unique<PanelKeyboard> (*this, *mTabs, *mConnectButton);
    setSize (PanelGeometry::editorWidth, PanelGeometry::editorHeight);
}

GUIEditorWindow::~GUIEditorWindow()
{
    mKeyboard.reset();
    mTabs.reset();
    mConnectButton.reset();
    mStatusLabel.reset();
}

void GUIEditorWindow::paint (juce::Graphics& g) { g.fillAll (juce::Colours::black); }

void GUIEditorWindow::resized()
{
    mTabs->setBounds (0, 0, getWidth(), PanelGeometry::editorHeight);
    mStatusLabel->setBounds (PanelGeometry::statusLabel);
    mConnectButton->setBounds (PanelGeometry::connectSwitch);
}

void GUIEditorWindow::buttonClicked (juce::Button* button)
{
    // The click has already flipped the switch; setConnected shows the outcome.
    if (button == mConnectButton.get())
        sendActionMessage (getActionPrefix (Action::connect));
}

bool GUIEditorWindow::keyPressed (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();

    if (! key.isKeyCode (juce::KeyPress::tabKey) || mods.isCommandDown() || mods.isAltDown())
        return false;

    mKeyboard->moveFocus (! mods.isShiftDown());
    return true;
}

void GUIEditorWindow::setListener (juce::ActionListener* listener)
{
    mParametersTab->setListener (listener);
    mFirmwareTab->setListener (listener);
    mPatternTab->setListener (listener);

    mParametersTab->addActionListener (listener);
    mFirmwareTab->addActionListener (listener);
    mPatternTab->addActionListener (listener);
}

void GUIEditorWindow::setConnected (bool connected)
{
    mConnectButton->setToggleState (connected, juce::dontSendNotification);
    mStatusLabel->setText (connected ? "Connected" : "NOT Connected", juce::dontSendNotification);
}

void GUIEditorWindow::showFirmwareVersion (juce::uint8 rev1, juce::uint8 rev2, juce::uint8 rev3, juce::uint8 rev4)
{
    mFirmwareTab->showFirmwareVersion (rev1, rev2, rev3, rev4);
}

void GUIEditorWindow::showSetting (DeviceSetting setting, int value) { mParametersTab->showSetting (setting, value); }

} // namespace tarnovelle
