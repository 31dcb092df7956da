#include "editor/GUISequenceEditorWindow.h"

namespace tarnovelle
{

GUISequenceEditorWindow::GUISequenceEditorWindow (SequenceEditorModel& model, SequencePlayback* playback)
    : juce::DocumentWindow ("Sequence Editor", SequenceEditorLook::background, juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    // The window passes the keyboard on to the editor, which handles every key: without a
    // window manager a click does not focus a window, and its focus would otherwise stay on
    // the window itself.
    setWantsKeyboardFocus (false);
    mEditor = std::make_unique<GUISequenceEditor> (model, playback);
    setMenuBar (&mEditor->getCommands(), CommandTable::menuBarHeight);
    setContentNonOwned (mEditor.get(), true);
    setResizable (true, false);
    setResizeLimits (GUISequenceEditor::minimumWidth,
                     GUISequenceEditor::minimumHeight + getContentComponentBorder().getTopAndBottom(), 8192, 8192);
    centreWithSize (getWidth(), getHeight());
}

GUISequenceEditorWindow::~GUISequenceEditorWindow()
{
    // The menu bar's model is the editor's command table.
    setMenuBar (nullptr);
    clearContentComponent();
}

void GUISequenceEditorWindow::closeButtonPressed()
{
    if (! mEditor->confirmClose())
        return;

    setVisible (false);
    mEditor->editorClosed();
}

// A key typed into this window while nothing in it holds the keyboard (as after a progress
// window closed) reaches the window itself: it is the editor's.
bool GUISequenceEditorWindow::keyPressed (const juce::KeyPress& key) { return mEditor->keyPressed (key); }

// Coming to the front, the window gives the editor the keyboard, which may still be held by a
// component of a window left behind.
void GUISequenceEditorWindow::activeWindowStatusChanged()
{
    juce::DocumentWindow::activeWindowStatusChanged();

    if (isActiveWindow() && isShowing() && ! isParentOf (juce::Component::getCurrentlyFocusedComponent()))
        mEditor->grabKeyboardFocus();

    // Another program may have put steps on the clipboard meanwhile.
    if (isActiveWindow())
        mEditor->lookAtClipboard();
}

//==============================================================================
GUISequenceEditorLauncher::GUISequenceEditorLauncher (SequenceEditorModel& modelToEdit, juce::ActionListener* hubToUse,
                                                      SequencePlayback* playbackToUse)
    : model (modelToEdit)
    , hub (hubToUse)
    , playback (playbackToUse)
{}

GUISequenceEditorLauncher::~GUISequenceEditorLauncher() = default;

void GUISequenceEditorLauncher::openSequenceEditor()
{
    if (mWindow == nullptr)
    {
        mWindow = std::make_unique<GUISequenceEditorWindow> (model, playback);
        mWindow->getEditor().setProgramFacts (programFacts);

        if (hub != nullptr)
            mWindow->getEditor().addActionListener (hub);
    }

    if (mWindow->isVisible())
    {
        mWindow->toFront (true);
        return;
    }

    mWindow->setVisible (true);
    mWindow->toFront (true);
    mWindow->getEditor().editorOpened();
}

} // namespace tarnovelle
