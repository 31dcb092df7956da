// The demo: the same application wired to the built-in emulated instrument, whose memory
// persists in its own file between runs, as a real instrument's does.

#include "app/VarokEditorApplication.h"
#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/JuceDialogs.h"

namespace
{
class DemoEnvironment final : public tarnovelle::AppEnvironment
{
public:
    DemoEnvironment()
        : instrument (tarnovelle::EmulatedInstrument::getDefaultStateFile())
    {
        midi.addInstrument (instrument);
        // A computer usually lists a loop-back port as well.
        midi.addMidiThrough();
    }

    juce::String getProductName() const override { return TARNOVELLE_PRODUCT_NAME; }
    tarnovelle::MidiBackend& getMidiBackend() override { return midi; }
    tarnovelle::Dialogs& getDialogs() override { return dialogs; }

private:
    tarnovelle::EmulatedInstrument instrument;
    tarnovelle::EmulatedMidiBackend midi;
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
