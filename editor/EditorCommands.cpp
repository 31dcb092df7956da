#include "editor/EditorCommands.h"

#include "editor/GUIMidiImportDialog.h"
#include "editor/GUISequenceEditor.h"
#include "editor/SequenceEditorFiles.h"
#include "editor/SequenceToolCommands.h"
#include "protocol/ActionVocabulary.h"

namespace tarnovelle
{

namespace
{
    using Key = juce::KeyPress;
    using namespace EditorCommand;

    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));
    const juce::ModifierKeys none, ctrl (juce::ModifierKeys::ctrlModifier), shift (juce::ModifierKeys::shiftModifier),
        ctrlShift (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::shiftModifier);

    juce::Array<Key> key (int code, juce::ModifierKeys mods = {}) { return { Key (code, mods, 0) }; }

    /** Declares the commands of one menu, in their order there. The commands outlive it: each
        keeps a copy of it (of its references), not a pointer to it.
    */
    struct Declarer
    {
        CommandTable& table;
        GUISequenceEditor& editor;
        SequenceEditorModel& model;
        GUIPlaybackControls* transport;

        void add (Command command) { table.add (std::move (command)); }

        /** An edit of the step at the cursor, which is then scrolled into view. */
        std::function<void()> atCursor (std::function<void()> edit) const
        {
            return [*this, edit] {
                edit();
                editor.showCursorNote();
            };
        }

        /** A command that brings in notes, which are then shown. */
        std::function<void()> showingNotes (std::function<void()> command) const
        {
            return [*this, command] { editor.showNotesAfter (command); };
        }

        std::function<void()> tool (std::function<Steps (Steps)> apply) const
        {
            return [*this, apply] { model.applyToSelection (apply); };
        }

        void declareFile();
        void declareEdit();
        void declareCursor();
        void declareSequence();
        void declareTools();
        void declarePlay();
        void declareWindowAndHelp();
    };

    void Declarer::declareFile()
    {
        add ({ open, "Open" + ellipsis, "Open a .tvseq sequence file", "File", key ('o', ctrl),
               showingNotes ([*this] { openSequenceFileIntoEditor (model); }) });
        add ({ save, "Save" + ellipsis, "Save the eight sequences as a .tvseq file", "File", key ('s', ctrl),
               [*this] { saveEditorSequences (model); } });
        add (Command{ importMidi, "Import MIDI" + ellipsis, "Import a MIDI file into the selected sequence", "File",
                      key ('i', ctrl), showingNotes ([*this] { importMidiThroughWindow (model); }) }
                 .startingGroup());
        add ({ exportMidi, "Export MIDI" + ellipsis, "Export the selected sequence as a MIDI file", "File",
               key ('e', ctrl), [*this] { exportMidiFromEditor (model); } });
    }

    void Declarer::declareEdit()
    {
        auto& undoManager = model.getUndoManager();
        add (Command{
            undo, "Undo", "Undo the last edit", "Edit", key ('z', ctrl), [*this] {
                model.undo();
            } }.enabledWhen ([&undoManager = undoManager] { return undoManager.canUndo(); }));
        add (Command{
            redo,
            "Redo",
            "Redo the edit undone",
            "Edit",
            { Key ('z', ctrlShift, 0), Key ('y', ctrl, 0) },
            [*this] {
                model.redo();
            } }.enabledWhen ([&undoManager = undoManager] { return undoManager.canRedo(); }));

        add (Command{
            cut, "Cut", "Cut the selected steps", "Edit", key ('x', ctrl), [*this] {
                editor.cutSteps();
            } }.startingGroup());
        add ({ copy, "Copy", "Copy the selected steps, or the sequence", "Edit", key ('c', ctrl),
               [*this] { editor.copySteps(); } });
        add (Command{
            paste, "Paste", "Paste steps at the cursor", "Edit", key ('v', ctrl), [*this] {
                editor.pasteSteps();
            } }.enabledWhen ([*this] { return editor.canPaste(); }));
        add ({ selectAll, "Select All", "Select the whole sequence", "Edit", key ('a', ctrl),
               [*this] { model.selectRange (0, model.getSelected().length - 1); } });
        add ({ clear, "Clear", "Empty the selected sequence", "Edit", {}, [*this] { model.clearSelected(); } });

        const auto byNote = [*this] (int semitones) {
            return atCursor ([*this, semitones] { model.changeNoteBy (semitones); });
        };
        add (Command{ noteUp, "Note Up", "Raise the step's note a semitone; a rest becomes the last note used", "Edit",
                      key (Key::upKey), byNote (1) }
                 .startingGroup());
        add ({ noteDown, "Note Down", "Lower the step's note a semitone", "Edit", key (Key::downKey), byNote (-1) });
        add (
            { octaveUp, "Octave Up", "Raise the step's note an octave", "Edit", key (Key::upKey, shift), byNote (12) });
        add ({ octaveDown, "Octave Down", "Lower the step's note an octave", "Edit", key (Key::downKey, shift),
               byNote (-12) });

        // While recording, x enters a rest at the record position instead.
        add ({ rest, "Rest", "Make the step a rest; while recording, enter a rest", "Edit", key ('x'),
               atCursor ([*this] {
                   if (transport != nullptr && transport->getPlayback().isRecording())
                       transport->getPlayback().enterRest();
                   else
                       model.makeRest();
               }) });

        // Without a transport, Backspace deletes too.
        add (Command{ deleteSteps, "Delete Steps", "Remove the selected steps, or the step", "Edit",
                      key (Key::deleteKey), atCursor ([*this] { model.deleteRange(); }) }
                 .alsoOn (transport == nullptr ? key (Key::backspaceKey) : juce::Array<Key>()));
        add ({ insertStep, "Insert Step", "Insert a copy of the step (up to 64 steps)", "Edit", key (Key::insertKey),
               atCursor ([*this] { model.insertStep(); }) });
    }

    void Declarer::declareCursor()
    {
        const auto move = [this] (juce::CommandID id, const char* name, const char* description, juce::KeyPress k,
                                  std::function<void()> action) {
            return Command{ id, name, description, "Edit", { k }, atCursor (std::move (action)) }.inSubmenu ("Cursor");
        };

        add (move (previousStep, "Previous Step", "Move the cursor a step left", Key (Key::leftKey, none, 0), [*this] {
                 model.moveCursorBy (-1);
             }).startingGroup());
        add (move (nextStep, "Next Step", "Move the cursor a step right", Key (Key::rightKey, none, 0),
                   [*this] { model.moveCursorBy (1); }));
        add (move (firstStep, "First Step", "Move the cursor to the first step", Key (Key::homeKey, none, 0),
                   [*this] { model.moveCursorTo (0); }));
        add (move (lastStep, "Last Step", "Move the cursor past the last step", Key (Key::endKey, none, 0),
                   [*this] { model.moveCursorToEnd(); }));
        add (move (extendLeft, "Select Left", "Select a range of steps from the cursor, to the left",
                   Key (Key::leftKey, shift, 0), [*this] { model.extendRangeBy (-1); }));
        add (move (extendRight, "Select Right", "Select a range of steps from the cursor, to the right",
                   Key (Key::rightKey, shift, 0), [*this] { model.extendRangeBy (1); }));

        // With a transport, Escape stops it.
        if (transport == nullptr)
            add (move (deselect, "End Range", "End the range of selected steps", Key (Key::escapeKey, none, 0),
                       [*this] { model.moveCursorBy (0); }));
    }

    void Declarer::declareSequence()
    {
        add ({ read, "Read", "Read all eight sequences from Tarnovelle", "Sequence", key ('r', ctrl),
               [*this] { editor.readFromInstrument(); } });
        add (Command{
            send, "Send", "Send the changed sequences to Tarnovelle", "Sequence", key (Key::returnKey, ctrl), [*this] {
                editor.sendToInstrument();
            } }.enabledWhen ([*this] {
                   return model.hasUnsentChanges();
               }).refusedSaying ("Nothing to send: no sequence has changed"));

        for (int index = 0; index < numSequences; ++index)
        {
            const juce::String number (index + 1);
            add (Command{ firstSequence + index, "Sequence " + number, "Select sequence " + number, "Sequence",
                          key ('1' + index), atCursor ([*this, index] { model.selectSequence (index); }) }
                     .tickedWhen ([*this, index] { return model.getSelectedIndex() == index; })
                     .inSubmenu ("Select")
                     .startingGroup());
        }

        const auto transpose = [this] (juce::CommandID id, const char* name, const char* by, juce::KeyPress k,
                                       int semitones, const char* label) {
            return Command{
                id,         name,  juce::String ("Transpose the selected steps (or the sequence) ") + by,
                "Sequence", { k }, [*this, semitones] { model.transpose (semitones); }
            }.labelled (label);
        };

        add (transpose (transposeOctaveDown, "Transpose Octave Down", "an octave down",
                        Key (Key::downKey, ctrlShift, 0), -12, "-12")
                 .startingGroup());
        add (transpose (transposeDown, "Transpose Down", "a semitone down", Key (Key::downKey, ctrl, 0), -1, "-1"));
        add (transpose (transposeUp, "Transpose Up", "a semitone up", Key (Key::upKey, ctrl, 0), 1, "+1"));
        add (transpose (transposeOctaveUp, "Transpose Octave Up", "an octave up", Key (Key::upKey, ctrlShift, 0), 12,
                        "+12"));
    }

    void Declarer::declareTools()
    {
        // The commands share their names with the tools: both are qualified.
        namespace C = EditorCommand;
        namespace T = SequenceTools;
        add (Command{ C::rotateLeft, "Rotate Left", "Rotate the selected steps left by one step", "Sequence",
                      key (Key::leftKey, ctrl), tool ([] (Steps s) { return T::rotateLeft (std::move (s)); }) }
                 .labelled (juce::CharPointer_UTF8 ("\xe2\x86\x90 Rotate"))
                 .startingGroup());
        add (Command{ C::rotateRight, "Rotate Right", "Rotate the selected steps right by one step", "Sequence",
                      key (Key::rightKey, ctrl), tool ([] (Steps s) { return T::rotateRight (std::move (s)); }) }
                 .labelled (juce::CharPointer_UTF8 ("Rotate \xe2\x86\x92")));
        add ({ C::reverse, "Reverse", "Play the selected steps backwards", "Sequence", {}, tool ([] (Steps s) {
                   return T::reverse (std::move (s));
               }) });
        add ({ C::invert, "Invert" + ellipsis, "Mirror the selected notes around a note", "Sequence", {}, [*this] {
                  SequenceToolCommands::invert (model);
              } });
        add (Command{
            C::fitToScale,
            "Fit to Scale" + ellipsis,
            "Move the selected notes into a scale",
            "Sequence",
            {},
            [*this] {
                SequenceToolCommands::fitToScale (model);
            } }.labelled ("Scale" + ellipsis));
        add ({ C::doubleSteps, "Double", "Repeat the selected steps (up to 64)", "Sequence", {}, tool ([] (Steps s) {
                   return T::doubled (s);
               }) });
        add ({ C::halveSteps, "Halve", "Keep the first half of the selected steps", "Sequence", {}, tool ([] (Steps s) {
                   return T::halved (s);
               }) });
        add ({ C::generate,
               "Generate" + ellipsis,
               "Fill the selection with random notes of a scale",
               "Sequence",
               {},
               showingNotes ([*this] { SequenceToolCommands::generate (model); }) });
    }

    void Declarer::declarePlay()
    {
        if (transport == nullptr)
            return;

        auto& playback = transport->getPlayback();
        const juce::String needsConnection ("needs Tarnovelle: NOT connected");
        add (Command{ playStop, "Play/Stop", "Play the sequence on Tarnovelle, looping, or stop", "Play",
                      key (Key::spaceKey), [*this] { transport->togglePlay(); } }
                 .enabledWhen ([*this, &playback = playback] { return model.isConnected() || playback.isPlaying(); })
                 .labelled ("Play")
                 .refusedSaying ("Play " + needsConnection));
        add ({ stop, "Stop", "Stop playing", "Play", key (Key::escapeKey), [*this] { transport->stop(); } });

        const auto tempoBy = [this] (int change) { return [*this, change] { transport->changeTempoBy (change); }; };
        add (Command{ tempoDown, "Tempo Down", "Slow down by 1 BPM", "Play", key ('['), tempoBy (-1) }.startingGroup());
        add ({ tempoUp, "Tempo Up", "Speed up by 1 BPM", "Play", key (']'), tempoBy (1) });
        // With Shift the brackets arrive as braces, depending on the keyboard layout.
        add (Command{ tempoDownByTen, "Tempo Down by 10", "Slow down by 10 BPM", "Play", key ('[', shift),
                      tempoBy (-10) }
                 .alsoOn ({ Key ('{', shift, 0), Key ('{', none, 0) }));
        add (Command{ tempoUpByTen, "Tempo Up by 10", "Speed up by 10 BPM", "Play", key (']', shift), tempoBy (10) }
                 .alsoOn ({ Key ('}', shift, 0), Key ('}', none, 0) }));

        add (Command{
            preview, "Preview", "Play each note an edit sets", "Play", key ('p'), [&playback = playback] {
                playback.setPreviewOn (! playback.isPreviewOn());
            } }.tickedWhen ([&playback = playback] {
                   return playback.isPreviewOn();
               }).startingGroup());
        add (Command{ record, "Record", "Enter the notes played on Tarnovelle's keys at the cursor", "Play", key ('r'),
                      [&playback = playback] { playback.setRecording (! playback.isRecording()); } }
                 .enabledWhen ([*this, &playback = playback] { return model.isConnected() || playback.isRecording(); })
                 .tickedWhen ([&playback = playback] { return playback.isRecording(); })
                 .refusedSaying ("Record " + needsConnection));
        add ({ stepBack, "Step Back", "While recording, step back; otherwise remove the selected steps, or the step",
               "Play", key (Key::backspaceKey), atCursor ([*this, &playback = playback] {
                   if (playback.isRecording())
                       playback.stepBack();
                   else
                       model.deleteRange();
               }) });
    }

    void Declarer::declareWindowAndHelp()
    {
        add ({ history, "History", "Every state Tarnovelle held, compared and restored", "Window", key ('h', ctrl),
               [*this] { editor.sendActionMessage (getActionPrefix (Action::openHistory)); } });
        add ({ keyboardShortcuts, "Keyboard Shortcuts", "Every command of the editor with its key", "Help",
               key (Key::F1Key), [*this] { editor.showKeyboardShortcuts(); } });
        add ({ about, "About", "The program's version and where it keeps its files", "Help", {}, [*this] {
                  editor.showAbout();
              } });
    }
} // namespace

juce::StringArray EditorCommand::getMenuNames() { return { "File", "Edit", "Sequence", "Play", "Window", "Help" }; }

void EditorCommand::declare (CommandTable& table, GUISequenceEditor& editor)
{
    Declarer declarer{ table, editor, editor.getModel(), editor.getPlaybackControls() };
    declarer.declareFile();
    declarer.declareEdit();
    declarer.declareCursor();
    declarer.declareSequence();
    declarer.declareTools();
    declarer.declarePlay();
    declarer.declareWindowAndHelp();
    table.registerCommands();
}

} // namespace tarnovelle
