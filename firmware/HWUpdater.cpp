#include "firmware/HWUpdater.h"

#include "app/HWDetector.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/FirmwareFile.h"
#include "platform/Platform.h"

namespace tarnovelle
{

namespace
{
    /** The update's own MIDI ports, open from a successful detection until the update ends. */
    struct UpdatePorts
    {
        std::unique_ptr<MidiInputPort> input;
        std::unique_ptr<MidiOutputPort> output;

        bool areOpen() const noexcept { return input != nullptr && output != nullptr; }

        void close()
        {
            if (input != nullptr)
                input->stop();

            output.reset();
            input.reset();
        }
    };

    UpdatePorts& getUpdatePorts()
    {
        static UpdatePorts ports;
        return ports;
    }

    HWUpdater::MidiCallback& getUpdateCallback()
    {
        static HWUpdater::MidiCallback callback (LPC23XXUpdater::getInstance());
        return callback;
    }

    constexpr uint8 family[2] = { 0x04, 0x00 };
    constexpr uint8 applicationMember[2] = { 0x02, 0x01 };
    constexpr uint8 bootloaderMember[2] = { 0x02, 0x03 };

    /** One detection that fills the update's ports; a half-open result counts as not found. */
    bool detectWithMember (const uint8 (&member)[2])
    {
        HWDetector::setExpectedFamily (family[0], family[1]);
        HWDetector::setExpectedMember (member[0], member[1]);

        auto& ports = getUpdatePorts();
        ports.close();

        if (HWDetector::detect (&getUpdateCallback(), ports.input, ports.output) && ports.areOpen())
            return true;

        ports.close();
        return false;
    }

    void showPrepareError()
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Update error",
                                            "Unable to prepare the Device for update.\n"
                                            "Please check your connections.");
    }

    void showTransferError()
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Update error",
                                            "The Varok stopped answering during the firmware update.\n"
                                            "Please check your connections, then start the update again "
                                            "from the Firmware Update tab.");
    }

    void showCompletion()
    {
        Platform::dialogs().showMessageBox (DialogIcon::info, "Firmware update: complete",
                                            "The firmware has been successfully updated!\n"
                                            " Please reboot your Varok, then only press OK.");
    }

    void showNotAFirmwareFile()
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Checking error",
                                            "This file is not a Tarnovelle crypted firmware file.");
    }
} // namespace

bool HWUpdater::update (const juce::File& firmwareFile)
{
    // The detection windows run the message loop, so a second update request could arrive
    // while this one is under way; it would take the update's ports from under it.
    static bool updateInProgress = false;

    if (updateInProgress)
        return false;

    const juce::ScopedValueSetter<bool> inProgress (updateInProgress, true);

    CryptedDataFile container (firmwareFile, FirmwareFile::magic);
    auto* image = container.getPayloadStream();

    // The container has told the user why it gave no image.
    if (image == nullptr)
        return false;

    // A container with nothing in it would leave the instrument without firmware.
    if (image->getNumBytesRemaining() <= 0)
    {
        showNotAFirmwareFile();
        return false;
    }

    if (! prepareDevice())
    {
        showPrepareError();
        return false;
    }

    auto& updater = LPC23XXUpdater::getInstance();
    auto& ports = getUpdatePorts();

    const auto started = updater.startUpdate (ports.output.get(), image);

    if (started)
    {
        UpdateWindow window (updater);
        window.runModally();

        // The window closes early only when the program is asked to end (or is never shown
        // then): a transfer under way still runs to its end, so that the instrument is never
        // left with half an image, and only then do the ports and the image go away.
        updater.waitUntilFinished();
    }

    ports.close();

    if (! started || ! updater.wasSuccessful())
    {
        showTransferError();
        return false;
    }

    showCompletion();
    return true;
}

bool HWUpdater::prepareDevice()
{
    if (! detectWithMember (applicationMember))
        return detectWithMember (bootloaderMember); // already in its bootloader

    auto& ports = getUpdatePorts();
    LPC23XXUpdater::getInstance().requestUpdateMode (ports.output.get());
    ports.close();

    for (int attempt = 0; attempt < bootloaderDetections; ++attempt)
    {
        Platform::runMessageLoopFor (pauseBeforeDetectionMs);

        if (detectWithMember (bootloaderMember))
            return true;
    }

    return false;
}

void HWUpdater::MidiCallback::handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message)
{
    // Only an acknowledgement carries command 0x04 in byte 8; shorter messages have no byte 8.
    if (message.getRawDataSize() >= 9 && message.getRawData()[8] == LPC23XXUpdater::acknowledgementCommand)
        updater.handleReply (message);
}

HWUpdater::UpdateWindow::UpdateWindow (LPC23XXUpdater& updaterToWatch)
    : updater (updaterToWatch)
{
    spec.title = "Firmware update:";
    spec.statusMessage = "Downloading the firmware, do not unplug or power off the Varok...";
    spec.threadPriority = 5;
    spec.work = [this] (ProgressReporter& window) { run (window); };
}

void HWUpdater::UpdateWindow::runModally() { Platform::dialogs().runWithProgressWindow (spec); }

void HWUpdater::UpdateWindow::run (ProgressReporter& window)
{
    while (! window.threadShouldExit() && updater.isUpdating())
    {
        window.setProgress (updater.getProgress());
        juce::Thread::sleep (pollIntervalMs);
    }

    window.setProgress (updater.getProgress());
}

} // namespace tarnovelle
