#include "sequences/GUIPatternTab.h"

#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

GUIPatternTab::GUIPatternTab()
{
    mSeqLoad = std::make_unique<GUISeqLoad>();
    addAndMakeVisible (mSeqLoad.get());
    mSeqSave = std::make_unique<GUISeqSave>();
    addAndMakeVisible (mSeqSave.get());
    mSeqFactory = std::make_unique<GUISeqFactory>();
    addAndMakeVisible (mSeqFactory.get());
    mSeqEdit = std::make_unique<GUISeqEdit>();
    addAndMakeVisible (mSeqEdit.get());

    mBackground = Pictures::sequencesBackground();
    setSize (PanelGeometry::tabWidth, PanelGeometry::tabHeight);
}

GUIPatternTab::~GUIPatternTab()
{
    mSeqLoad.reset();
    mSeqSave.reset();
    mSeqFactory.reset();
    mSeqEdit.reset();
}

void GUIPatternTab::paint (juce::Graphics& g)
{
    // Drawn at its own size from the top-left corner, cut at the tab's edges.
    g.fillAll (juce::Colours::white);
    g.setColour (juce::Colours::black);
    g.drawImageWithin (mBackground, 0, 0, PanelGeometry::backgroundWidth, PanelGeometry::backgroundHeight,
                       juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize, false);
}

void GUIPatternTab::resized()
{
    mSeqLoad->setBounds (PanelGeometry::seqLoadButton);
    mSeqSave->setBounds (PanelGeometry::seqSaveButton);
    mSeqFactory->setBounds (PanelGeometry::seqFactoryButton);
    mSeqEdit->setBounds (PanelGeometry::seqEditButton);
}

void GUIPatternTab::setListener (juce::ActionListener* listener)
{
    mSeqLoad->addActionListener (listener);
    mSeqSave->addActionListener (listener);
    mSeqFactory->addActionListener (listener);
    mSeqEdit->addActionListener (listener);
}

} // namespace tarnovelle
