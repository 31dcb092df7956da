#pragma once

#include "firmware/LPC23XXUpdater.h"
#include "platform/Dialogs.h"
#include "platform/MidiPorts.h"

namespace tarnovelle
{

/** Runs one complete firmware update from the firmware file.

    Opens the container, brings the instrument into its bootloader and connects to it through
    MIDI ports of the update's own, hands the image to the LPC23XXUpdater and shows a modal
    progress window while it is sent, then tells the user how it ended. The caller closes the
    application's own connection before and opens it again afterwards.
*/
class HWUpdater final
{
public:
    /** Returns true when the whole image was sent and the completion box was shown; false
        when the file gave no image, the instrument could not be prepared, or the transfer
        did not complete. Every failure has been told to the user.
    */
    static bool update (const juce::File& firmwareFile);

    /** Returns true when the instrument answered with its bootloader identity and the
        update's MIDI input and output are open towards it.
    */
    static bool prepareDevice();

    /** Passes the bootloader's acknowledgements (command byte 0x04) to the updater. */
    class MidiCallback final : public MidiPortCallback
    {
    public:
        explicit MidiCallback (LPC23XXUpdater& updaterToFeed)
            : updater (updaterToFeed)
        {}

        void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override;

    private:
        LPC23XXUpdater& updater;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiCallback)
    };

    /** The modal progress window shown while the image is sent; it closes when the transfer
        has ended, whichever way.
    */
    class UpdateWindow final
    {
    public:
        explicit UpdateWindow (LPC23XXUpdater& updaterToWatch);

        static constexpr int pollIntervalMs = 20;

        const ProgressWindowSpec& getSpec() const noexcept { return spec; }

        /** Shows the window until the transfer has ended. */
        void runModally();

    private:
        void run (ProgressReporter& window);

        LPC23XXUpdater& updater;
        ProgressWindowSpec spec;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UpdateWindow)
    };

    /** How many detections follow the update request, each after a short message-loop run. */
    static constexpr int bootloaderDetections = 5;
    static constexpr int pauseBeforeDetectionMs = 100;

private:
    HWUpdater() = delete;
};

} // namespace tarnovelle
