// tarnovelle_bare_window: an empty JUCE window of the main window's size, the yardstick the
// benchmark measures the application's idle processor time, memory and start time against.

#include "settings/PanelGeometry.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

namespace
{
    class BareWindow final : public juce::DocumentWindow
    {
    public:
        BareWindow()
            : juce::DocumentWindow ("Bare JUCE Window", juce::Colours::darkgrey, juce::DocumentWindow::closeButton)
        {
            setUsingNativeTitleBar (true);
            centreWithSize (PanelGeometry::mainWindowWidth, PanelGeometry::mainWindowHeight);
            setVisible (true);
        }

        void closeButtonPressed() override { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BareWindow)
    };

    class BareWindowApplication final : public juce::JUCEApplication
    {
    public:
        BareWindowApplication() = default;

        const juce::String getApplicationName() override { return "Bare JUCE Window"; }
        const juce::String getApplicationVersion() override { return "1.0"; }
        bool moreThanOneInstanceAllowed() override { return true; }

        void initialise (const juce::String&) override { window = std::make_unique<BareWindow>(); }
        void shutdown() override { window.reset(); }

    private:
        std::unique_ptr<BareWindow> window;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BareWindowApplication)
    };

    juce::JUCEApplicationBase* createApplication() { return new BareWindowApplication(); }
} // namespace

} // namespace tarnovelle

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &tarnovelle::createApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
