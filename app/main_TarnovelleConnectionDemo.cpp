// The demo: the same application wired to the built-in emulated instrument, whose memory
// persists in its own file between runs, as a real instrument's does.

#include "app/VarokEditorApplication.h"
#include "emulator/InstrumentRig.h"
#include "platform/JuceDialogs.h"

namespace
{
class DemoEnvironment final : public tarnovelle::AppEnvironment
{
public:
    DemoEnvironment() = default;

    juce::String getProductName() const override { return TARNOVELLE_PRODUCT_NAME; }
    // The instrument is built, and its memory file read or moved aside, only once the
    // application has found that it is the one instance: a later start never touches it.
    tarnovelle::MidiBackend& getMidiBackend() override
    {
        if (rig == nullptr)
            rig = std::make_unique<tarnovelle::InstrumentRig> (rigOptions());

        return rig->midi;
    }

    tarnovelle::Dialogs& getDialogs() override { return dialogs; }

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
