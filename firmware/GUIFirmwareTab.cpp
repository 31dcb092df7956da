#include "firmware/GUIFirmwareTab.h"

#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

namespace
{
    std::unique_ptr<juce::Label> createLabel (juce::Component& parent, const juce::String& text,
                                              juce::Colour textColour)
    {
        auto label = std::make_unique<juce::Label> ("new label", text);
        parent.addAndMakeVisible (label.get());
        label->setFont (juce::Font (15.0f, juce::Font::plain));
        label->setJustificationType (juce::Justification::centredLeft);
        label->setEditable (false, false, false);
        label->setColour (juce::Label::textColourId, textColour);
        label->setColour (juce::TextEditor::textColourId, juce::Colours::black);
        label->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
        return label;
    }
} // namespace

GUIFirmwareTab::GUIFirmwareTab()
{
    mUpdater = std::make_unique<GUIUpdater>();
    addAndMakeVisible (mUpdater.get());

    mCaptionLabel = createLabel (*this, "Firmware Version:", juce::Colours::white);
    mVersionLabel = createLabel (*this, "Unknown", juce::Colour (0xfffffefe));

    mWebLink = std::make_unique<GUIWebLink>();
    addAndMakeVisible (mWebLink.get());

    mBackground = Pictures::firmwareBackground();
    setSize (PanelGeometry::tabWidth, PanelGeometry::tabHeight);
}

GUIFirmwareTab::~GUIFirmwareTab()
{
    mUpdater.reset();
    mCaptionLabel.reset();
    mVersionLabel.reset();
    mWebLink.reset();
}

void GUIFirmwareTab::paint (juce::Graphics& g)
{
    // Drawn at its own size from the top-left corner, cut at the tab's edges.
    g.fillAll (juce::Colours::white);
    g.setColour (juce::Colours::black);
    g.drawImageWithin (mBackground, 0, 0, PanelGeometry::backgroundWidth, PanelGeometry::backgroundHeight,
                       juce::RectanglePlacement::centred, false);
}

void GUIFirmwareTab::resized()
{
    mUpdater->setBounds (PanelGeometry::updaterButton);
    mCaptionLabel->setBounds (PanelGeometry::versionCaptionLabel);
    mVersionLabel->setBounds (PanelGeometry::versionLabel);
    mWebLink->setBounds (PanelGeometry::webLinkButton);
}

void GUIFirmwareTab::setListener (juce::ActionListener* listener) { mUpdater->addActionListener (listener); }

void GUIFirmwareTab::showFirmwareVersion (juce::uint8 rev1, juce::uint8 rev2, juce::uint8 rev3, juce::uint8 rev4)
{
    const auto version = juce::StringArray{ juce::String ((int) rev1), juce::String ((int) rev2),
                                            juce::String ((int) rev3), juce::String ((int) rev4) }
                             .joinIntoString (".");
    mVersionLabel->setText (version, juce::dontSendNotification);
}

} // namespace tarnovelle
