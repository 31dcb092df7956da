#pragma once

#include "editor/GUIMidiImportPreview.h"
#include "editor/MidiImportChooser.h"
#include "editor/SequenceEditorModel.h"
#include "sequences/MidiTracks.h"

namespace tarnovelle
{

/** The content of the "Import MIDI Tracks" window: the file's tracks (name, channels, note
    count) to tick, the channels, the bar to start from, the step size, and a preview of the
    steps the choice gives, kept up to date as the choice changes. OK is enabled while the
    choice gives a sequence.
*/
class GUIMidiImportPanel final : public juce::Component
{
public:
    GUIMidiImportPanel (const juce::String& fileName, const juce::MidiFile& file, const MidiImportChoice& initial);
    ~GUIMidiImportPanel() override;

    MidiImportChoice getChoice() const;
    const MidiImportResult& getResult() const noexcept { return mResult; }

    /** Called with true for OK, false for Cancel. */
    std::function<void (bool)> onClose;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Return answers OK (while OK can be pressed), Escape Cancel. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** The parts, for tests. */
    juce::ToggleButton& getTrackToggle (int trackNumber) { return *mTrackToggles[trackNumber - 1]; }
    juce::ToggleButton& getChannelToggle (int channel) { return *mChannelToggles[channel - 1]; }
    juce::Slider& getFromBar() noexcept { return *mFromBar; }
    juce::ComboBox& getStepSize() noexcept { return *mStepSize; }
    juce::TextButton& getOkButton() noexcept { return *mOk; }
    const GUIMidiImportPreview& getPreview() const noexcept { return *mPreview; }
    juce::String getSummaryText() const { return mSummary->getText(); }

private:
    void addTrackToggles (const std::vector<MidiTrackSummary>& tracks, const MidiImportChoice& initial);
    void addChannelToggles (const std::vector<MidiTrackSummary>& tracks, const MidiImportChoice& initial);
    juce::Label& addLabel (const juce::String& text);
    void choiceChanged();

    const juce::MidiFile& midiFile;
    MidiImportResult mResult;
    std::vector<std::unique_ptr<juce::Label>> mLabels;
    std::vector<std::unique_ptr<juce::ToggleButton>> mTrackToggles;
    std::vector<std::unique_ptr<juce::ToggleButton>> mChannelToggles;
    std::unique_ptr<juce::Component> mTrackList;
    std::unique_ptr<juce::Viewport> mTrackView;
    std::unique_ptr<juce::Slider> mFromBar;
    std::unique_ptr<juce::ComboBox> mStepSize;
    std::unique_ptr<GUIMidiImportPreview> mPreview;
    std::unique_ptr<juce::Label> mSummary;
    std::unique_ptr<juce::TextButton> mOk, mCancel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIMidiImportPanel)
};

/** Asks through a modal "Import MIDI Tracks" window; Return answers OK, Escape Cancel. Once
    the program has been asked to end it shows nothing and answers Cancel.
*/
class GUIMidiImportChooser final : public MidiImportChooser
{
public:
    GUIMidiImportChooser() = default;

    bool chooseImport (const juce::String& fileName, const juce::MidiFile& file, MidiImportChoice& choice) override;

    static constexpr const char* windowTitle = "Import MIDI Tracks";

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIMidiImportChooser)
};

/** The editor's Import MIDI…: a file chooser, then the "Import MIDI Tracks" window. */
void importMidiThroughWindow (SequenceEditorModel& model);

} // namespace tarnovelle
