// The application for a real instrument: the system's MIDI ports, through JUCE.

#include "app/VarokEditorApplication.h"
#include "platform/JuceDialogs.h"
#include "platform/JuceMidiBackend.h"

namespace
{
class SystemEnvironment final : public tarnovelle::AppEnvironment
{
public:
    juce::String getProductName() const override { return TARNOVELLE_PRODUCT_NAME; }
    tarnovelle::MidiBackend& getMidiBackend() override { return midi; }
    tarnovelle::Dialogs& getDialogs() override { return dialogs; }
    juce::File getHistoryFile() const override { return tarnovelle::InstrumentHistory::getDefaultLibraryFile(); }

private:
    tarnovelle::JuceMidiBackend midi;
    tarnovelle::JuceDialogs dialogs;
};

juce::JUCEApplicationBase* createApplication()
{
    return new tarnovelle::VarokEditorApplication (std::make_unique<SystemEnvironment>());
}
} // namespace

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
