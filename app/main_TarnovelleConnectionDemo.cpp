// The demo: the same application wired to the built-in emulated instrument, whose memory
// persists in its own file between runs, as a real instrument's does.

#include "app/VarokEditorApplication.h"
#include "demo/GUIInstrumentWindow.h"
#include "emulator/InstrumentRig.h"
#include "platform/JuceDialogs.h"

namespace
{
class DemoEnvironment final : public tarnovelle::AppEnvironment, private juce::KeyListener
{
public:
    DemoEnvironment() = default;

    ~DemoEnvironment() override
    {
        instrumentWindow.reset();

        if (rig != nullptr)
            rig->instrument.setChannelMessageListener (nullptr);
    }

    juce::String getProductName() const override { return TARNOVELLE_PRODUCT_NAME; }
    // The instrument is built, and its memory file read or moved aside, only once the
    // application has found that it is the one instance: a later start never touches it.
    tarnovelle::MidiBackend& getMidiBackend() override
    {
        if (rig == nullptr)
        {
            rig = std::make_unique<tarnovelle::InstrumentRig> (rigOptions());
            logNotesIfAsked();
        }

        return rig->midi;
    }

    tarnovelle::Dialogs& getDialogs() override { return dialogs; }

    // Ctrl+K on the main window shows the emulated instrument: its keys, power and cable.
    void mainWindowShown (juce::Component& mainWindow) override { mainWindow.addKeyListener (this); }

    // Beside the emulated instrument's memory: the demo never mixes with the real program.
    juce::File getSequenceEditorFile() const override
    {
        return tarnovelle::EmulatedInstrument::getDefaultStateFile().getSiblingFile ("Sequence Editor.json");
    }

    // Beside the emulated instrument's memory: trying the demo never mixes with a real
    // instrument's history.
    juce::File getHistoryFile() const override
    {
        return tarnovelle::InstrumentHistory::getLibraryFileBeside (
            tarnovelle::EmulatedInstrument::getDefaultStateFile());
    }

private:
    bool keyPressed (const juce::KeyPress& key, juce::Component*) override
    {
        if (key != juce::KeyPress ('k', juce::ModifierKeys::commandModifier, 0) || rig == nullptr)
            return false;

        if (instrumentWindow == nullptr)
            instrumentWindow = std::make_unique<tarnovelle::GUIInstrumentWindow> (rig->instrument);

        instrumentWindow->setVisible (true);
        instrumentWindow->toFront (true);
        return true;
    }

    /** With TARNOVELLE_EMULATOR_NOTES naming a file, the instrument writes every channel
        message it receives there as tarnovelle-emulator --notes prints them, so that what it
        heard can be checked from outside.
    */
    void logNotesIfAsked()
    {
        const auto path = juce::SystemStats::getEnvironmentVariable ("TARNOVELLE_EMULATOR_NOTES", {});

        if (path.isEmpty())
            return;

        notesLog = std::make_unique<juce::FileOutputStream> (juce::File (path));

        if (notesLog->failedToOpen())
            return;

        rig->instrument.setChannelMessageListener ([this] (const tarnovelle::EmulatedInstrument::ChannelMessage& m) {
            *notesLog << juce::String (m.timeMs, 3) << " "
                      << juce::String::toHexString (m.bytes.data(), (int) m.bytes.size()) << "\n";
            notesLog->flush();
        });
    }

    static tarnovelle::InstrumentRig::Options rigOptions()
    {
        tarnovelle::InstrumentRig::Options options;
        options.stateFile = tarnovelle::EmulatedInstrument::getDefaultStateFile();
        // A computer usually lists a loop-back port as well.
        options.addMidiThrough = true;
        // The application installs these ports and the system's dialogs itself.
        options.installSeams = false;
        return options;
    }

    std::unique_ptr<tarnovelle::InstrumentRig> rig;
    tarnovelle::JuceDialogs dialogs;
    std::unique_ptr<juce::FileOutputStream> notesLog;
    std::unique_ptr<tarnovelle::GUIInstrumentWindow> instrumentWindow;
};

juce::JUCEApplicationBase* createApplication()
{
    return new tarnovelle::VarokEditorApplication (std::make_unique<DemoEnvironment>());
}
} // namespace

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
