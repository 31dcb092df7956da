#pragma once

#include "editor/GUISequenceEditor.h"
#include "editor/SequenceEditorHost.h"

namespace tarnovelle
{

/** The resizable top-level "Sequence Editor" window. Closing it with unsent changes asks
    first; a closed window is only hidden, so the next opening finds it as it was.
*/
class GUISequenceEditorWindow final : public juce::DocumentWindow
{
public:
    explicit GUISequenceEditorWindow (SequenceEditorModel& model, SequencePlayback* playback = nullptr);
    ~GUISequenceEditorWindow() override;

    void closeButtonPressed() override;
    bool keyPressed (const juce::KeyPress& key) override;
    void activeWindowStatusChanged() override;

    GUISequenceEditor& getEditor() noexcept { return *mEditor; }

private:
    std::unique_ptr<GUISequenceEditor> mEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISequenceEditorWindow)
};

/** Opens the one sequence editor window of the application, on the hub's "EDSQ ". The
    window's reads and sends go to the given action listener, the hub.
*/
class GUISequenceEditorLauncher final : public SequenceEditorHost
{
public:
    GUISequenceEditorLauncher (SequenceEditorModel& model, juce::ActionListener* hub,
                               SequencePlayback* playback = nullptr);
    ~GUISequenceEditorLauncher() override;

    void openSequenceEditor() override;
    bool isSequenceEditorOpen() const override { return mWindow != nullptr && mWindow->isVisible(); }

    /** The window, once it has been opened; nullptr before. */
    GUISequenceEditorWindow* getWindow() const noexcept { return mWindow.get(); }

    /** What the editor's Help → About tells. */
    void setProgramFacts (const ProgramFacts& facts) { programFacts = facts; }

private:
    SequenceEditorModel& model;
    juce::ActionListener* const hub;
    SequencePlayback* const playback;
    ProgramFacts programFacts;
    std::unique_ptr<GUISequenceEditorWindow> mWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISequenceEditorLauncher)
};

} // namespace tarnovelle
