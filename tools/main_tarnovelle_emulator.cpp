// tarnovelle-emulator: the emulated Tarnovelle on virtual MIDI ports of the computer, so that
// Tarnovelle Connection, a DAW or any MIDI tool can be tried against it without hardware.
// The instrument is the one the demo and the tests use; this program only carries its MIDI
// between it and two ALSA sequencer ports named "Tarnovelle".

#include "StampedSequencerInput.h"
#include "emulator/EmulatedInstrument.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <iostream>
#include <mutex>
#include <optional>
#include <utility>

#include <string>

#include <poll.h>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    enum ExitStatus
    {
        success = 0,
        noSequencer = 1,
        badArguments = 2
    };

    const char* const usageText =
        "Usage: tarnovelle-emulator [options]\n"
        "\n"
        "Publishes a MIDI input and a MIDI output named \"Tarnovelle\" on the ALSA sequencer and\n"
        "answers on them as a Tarnovelle does: Identity Reply, Active Sensing every 250 ms,\n"
        "settings, sequences and the firmware bootloader. Runs until Ctrl+C (SIGINT) or SIGTERM.\n"
        "The input belongs to the ALSA client \"Tarnovelle emulator\", the output to the client\n"
        "\"JUCE\" (aconnect -l lists them).\n"
        "\n"
        "Options:\n"
        "  --state FILE              the instrument's memory (firmware version, settings,\n"
        "                            sequences), kept between runs; by default the demo's:\n"
        "                            $TARNOVELLE_EMULATOR_STATE, or\n"
        "                            ~/.config/Tarnovelle Emulator/instrument.json\n"
        "  --no-state                keep the memory only while the program runs\n"
        "  --factory-reset           start from factory settings and sequences, firmware 1.0.2.0\n"
        "  --firmware a.b.c.d        the firmware version it reports (each part 0 to 127)\n"
        "  --bootloader              start in the bootloader, as after a failed update\n"
        "  --device-id N             the device ID of its Identity Reply, 0 to 127 (default 1)\n"
        "  --latency MS              time between a message's arrival and its handling, 0 to\n"
        "                            10000 ms (default 2)\n"
        "  --silent                  answers nothing and sends no Active Sensing\n"
        "  --no-active-sensing       answers, but sends no Active Sensing\n"
        "  --stop-answering-after N  answers N more requests, then none\n"
        "  --name NAME               the name of the two ports (default \"Tarnovelle\")\n"
        "  --verbose                 prints every message received and sent, but Active Sensing\n"
        "  --notes                   prints every channel message received (notes, controllers),\n"
        "                            one a line: milliseconds since start, then its bytes in hex,\n"
        "                            for example \"1234.567 90 3c 64\"; the time is the sequencer's\n"
        "                            stamp of the moment the sender wrote it\n"
        "  --help                    prints this text\n"
        "\n"
        "The instrument's keys are played from standard input, one line a key: \"on 60\" (a\n"
        "velocity may follow, 1 to 127, 100 if none) and \"off 60\" send a note-on and note-off\n"
        "on its transmit channel (its MOUT setting), as its own keys would.\n"
        "\n"
        "--firmware, --bootloader and --factory-reset change the memory file as the instrument\n"
        "would. Exit status: 0 ended by a signal, 1 the MIDI ports could not be published (no\n"
        "ALSA sequencer), 2 bad arguments.\n";

    struct Options
    {
        juce::File stateFile = EmulatedInstrument::getDefaultStateFile();
        bool keepState = true;
        bool factoryReset = false;
        std::optional<EmulatedInstrument::Version> firmware;
        bool bootloader = false;
        std::optional<int> deviceId;
        std::optional<int> latencyMs;
        bool silent = false;
        bool activeSensing = true;
        std::optional<int> answerLimit;
        juce::String portName = "Tarnovelle";
        bool verbose = false;
        bool notes = false;
        bool help = false;
    };

    //==============================================================================
    /** A whole decimal number within the bounds, or nothing. */
    std::optional<int> parseNumber (const juce::String& text, int lowest, int highest)
    {
        if (text.isEmpty() || text.length() > 6 || ! text.containsOnly ("0123456789"))
            return std::nullopt;

        const int value = text.getIntValue();

        if (value < lowest || value > highest)
            return std::nullopt;

        return value;
    }

    std::optional<EmulatedInstrument::Version> parseVersion (const juce::String& text)
    {
        juce::StringArray parts;
        parts.addTokens (text, ".", {});

        if (parts.size() != 4)
            return std::nullopt;

        EmulatedInstrument::Version version{};

        for (int i = 0; i < 4; ++i)
        {
            const auto part = parseNumber (parts[i], 0, 127);

            if (! part)
                return std::nullopt;

            version[(size_t) i] = (uint8) *part;
        }

        return version;
    }

    /** Fills the options; returns the problem with the arguments, or an empty text. */
    juce::String parseArguments (const juce::StringArray& args, Options& options)
    {
        for (int i = 0; i < args.size(); ++i)
        {
            const auto& arg = args[i];

            if (arg == "--help" || arg == "-h")
            {
                options.help = true;
                continue;
            }

            if (arg == "--no-state")
                options.keepState = false;
            else if (arg == "--factory-reset")
                options.factoryReset = true;
            else if (arg == "--bootloader")
                options.bootloader = true;
            else if (arg == "--silent")
                options.silent = true;
            else if (arg == "--no-active-sensing")
                options.activeSensing = false;
            else if (arg == "--verbose")
                options.verbose = true;
            else if (arg == "--notes")
                options.notes = true;
            else if (arg == "--state" || arg == "--firmware" || arg == "--device-id" || arg == "--latency"
                     || arg == "--stop-answering-after" || arg == "--name")
            {
                if (i + 1 >= args.size())
                    return arg + " needs a value";

                const auto value = args[++i];

                if (arg == "--state")
                {
                    if (value.isEmpty())
                        return "--state needs a file name";

                    options.stateFile = juce::File::getCurrentWorkingDirectory().getChildFile (value);
                }
                else if (arg == "--firmware")
                {
                    if (! (options.firmware = parseVersion (value)))
                        return "--firmware takes a version a.b.c.d, each part 0 to 127, not \"" + value + "\"";
                }
                else if (arg == "--device-id")
                {
                    if (! (options.deviceId = parseNumber (value, 0, 127)))
                        return "--device-id takes a number from 0 to 127, not \"" + value + "\"";
                }
                else if (arg == "--latency")
                {
                    if (! (options.latencyMs = parseNumber (value, 0, 10000)))
                        return "--latency takes milliseconds from 0 to 10000, not \"" + value + "\"";
                }
                else if (arg == "--stop-answering-after")
                {
                    if (! (options.answerLimit = parseNumber (value, 0, 1000000)))
                        return "--stop-answering-after takes a number of requests, not \"" + value + "\"";
                }
                else if (arg == "--name")
                {
                    if (value.trim().isEmpty())
                        return "--name needs a port name";

                    options.portName = value;
                }
            }
            else
            {
                return "unknown option \"" + arg + "\"";
            }
        }

        return {};
    }

    //==============================================================================
    std::mutex printMutex;

    void say (const juce::String& text)
    {
        const std::lock_guard<std::mutex> lock (printMutex);
        std::cout << text << std::endl;
    }

    juce::String toHex (const juce::MidiMessage& message)
    {
        return juce::String::toHexString (message.getRawData(), message.getRawDataSize());
    }

    bool isActiveSensing (const juce::MidiMessage& message)
    {
        return message.getRawDataSize() == 1 && message.getRawData()[0] == 0xfe;
    }

    bool isChannelMessage (const juce::MidiMessage& message)
    {
        const auto status = message.getRawData()[0];
        return status >= 0x80 && status < 0xf0;
    }

    /** What the ALSA library complained about last; it would otherwise print to stderr. */
    std::mutex alsaErrorMutex;
    juce::String lastAlsaError;

    void collectAlsaError (const char*, int, const char*, int err, const char* format, ...)
    {
        char text[512];
        va_list args;
        va_start (args, format);
        std::vsnprintf (text, sizeof (text), format, args);
        va_end (args);

        juce::String error (text);

        if (err != 0)
            error << ": " << snd_strerror (err);

        const std::lock_guard<std::mutex> lock (alsaErrorMutex);
        lastAlsaError = error;
    }

    juce::String takeAlsaError()
    {
        const std::lock_guard<std::mutex> lock (alsaErrorMutex);
        return std::exchange (lastAlsaError, {});
    }

    //==============================================================================
    /** The two virtual ports and the instrument behind them.

        The computer's messages arrive on the stamped input's reading thread and go to the instrument;
        the instrument's replies come from its own thread and go out on the virtual output.
    */
    class VirtualPorts final
    {
    public:
        VirtualPorts (const juce::String& portName, bool printTraffic, bool printNotes)
            : name (portName)
            , verbose (printTraffic)
            , notes (printNotes)
            , input ([this] (const juce::MidiMessage& message, double stampMs) { receive (message, stampMs); })
        {}

        ~VirtualPorts() { close(); }

        /** Publishes both ports; false (with none published) when the sequencer refuses. */
        bool open()
        {
            close();

            if (! inputClientOpen)
                inputClientOpen = input.openClient (inputClientName);

            auto newOutput = juce::MidiOutput::createNewDevice (name);

            if (newOutput == nullptr || ! inputClientOpen || ! input.openPort (name))
                return false;

            const std::lock_guard<std::mutex> lock (outputMutex);
            output = std::move (newOutput);
            return true;
        }

        /** Withdraws both ports, as a USB device's ports vanish when it restarts. */
        void close()
        {
            input.closePort();

            const std::lock_guard<std::mutex> lock (outputMutex);
            output.reset();
        }

        void connectTo (EmulatedInstrument& newInstrument)
        {
            instrument.store (&newInstrument, std::memory_order_release);
            newInstrument.setOutputSink ([this] (const juce::MidiMessage& message) { sendToComputer (message); });
        }

        void disconnect (EmulatedInstrument& oldInstrument)
        {
            oldInstrument.setOutputSink (nullptr);
            instrument.store (nullptr, std::memory_order_release);
        }

    private:
        void receive (const juce::MidiMessage& message, double stampMs)
        {
            if (verbose && ! isActiveSensing (message))
                say ("in   " + toHex (message));

            // The sequencer's stamp, so the times printed are the sender's.
            if (notes && isChannelMessage (message))
                say (juce::String (stampMs, 3) + " " + toHex (message));

            if (auto* target = instrument.load (std::memory_order_acquire))
                target->receiveMidi (message);
        }

        void sendToComputer (const juce::MidiMessage& message)
        {
            if (verbose && ! isActiveSensing (message))
                say ("out  " + toHex (message));

            const std::lock_guard<std::mutex> lock (outputMutex);

            if (output != nullptr)
                output->sendMessageNow (message);
        }

        const juce::String name;
        const bool verbose, notes;
        std::atomic<EmulatedInstrument*> instrument{ nullptr };
        StampedSequencerInput input;
        bool inputClientOpen = false;
        static constexpr const char* inputClientName = "Tarnovelle emulator";
        std::mutex outputMutex;
        std::unique_ptr<juce::MidiOutput> output;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualPorts)
    };

    //==============================================================================
    std::atomic<bool> quitRequested{ false };

    void requestQuit (int) { quitRequested.store (true); }

    bool sequencerOpens()
    {
        snd_seq_t* sequencer = nullptr;

        if (snd_seq_open (&sequencer, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0 || sequencer == nullptr)
            return false;

        snd_seq_close (sequencer);
        return true;
    }

    void refuseWithoutSequencer (const juce::String& portName)
    {
        auto reason = takeAlsaError();
        const bool hasSequencerDevice = juce::File ("/dev/snd/seq").exists();

        std::cerr << "tarnovelle-emulator: cannot publish the MIDI ports \"" << portName << "\": ";

        if (! hasSequencerDevice)
            std::cerr << "this computer has no ALSA sequencer (/dev/snd/seq is missing).\n"
                      << "Load the sequencer module (modprobe snd-seq) or run the emulator on a desktop "
                         "computer with sound, then start it again.\n";
        else
            std::cerr << "the ALSA sequencer refused them.\n";

        if (reason.isNotEmpty())
            std::cerr << "ALSA said: " << reason << "\n";
    }

    juce::String describe (const EmulatedInstrument& instrument)
    {
        const auto v = instrument.getFirmwareVersion();
        juce::String text;
        text << "firmware " << (int) v[0] << "." << (int) v[1] << "." << (int) v[2] << "." << (int) v[3] << ", "
             << (instrument.getMode() == EmulatedInstrument::Mode::bootloader ? "in its bootloader"
                                                                              : "running its application firmware");
        return text;
    }

    void applyOptions (EmulatedInstrument& instrument, const Options& options)
    {
        if (options.factoryReset)
            instrument.resetToFactory();

        if (options.firmware)
            instrument.setFirmwareVersion (*options.firmware);

        if (options.bootloader)
            instrument.setMode (EmulatedInstrument::Mode::bootloader);

        if (options.deviceId)
            instrument.setDeviceId ((uint8) *options.deviceId);

        if (options.latencyMs)
            instrument.setLatencyMs (*options.latencyMs);

        if (options.answerLimit)
            instrument.setStopAnsweringAfter (*options.answerLimit);

        instrument.setActiveSensingEnabled (options.activeSensing);
        instrument.setSilent (options.silent);
    }

    /** The instrument's keys, from the lines of standard input: "on 60", "on 60 90", "off 60". */
    class KeyLines final
    {
    public:
        /** Plays the complete lines that have arrived; never waits for more. */
        void playWhatHasArrived (EmulatedInstrument& instrument)
        {
            for (pollfd input{ STDIN_FILENO, POLLIN, 0 }; open && ::poll (&input, 1, 0) > 0; input.revents = 0)
            {
                char chunk[256];
                const auto count = ::read (STDIN_FILENO, chunk, sizeof (chunk));

                if (count <= 0)
                {
                    open = false; // the end of the input, or none: the instrument runs on
                    break;
                }

                pending.append (chunk, (size_t) count);
            }

            for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
            {
                play (instrument, juce::String::fromUTF8 (pending.data(), (int) end).trim());
                pending.erase (0, end + 1);
            }

            // A line longer than any key's is no key: it is dropped rather than kept growing.
            if (pending.size() > maxLineLength)
                pending.clear();
        }

    private:
        static void play (EmulatedInstrument& instrument, const juce::String& line)
        {
            juce::StringArray words;
            words.addTokens (line, " \t", {});
            const auto note = parseNumber (words[1], 0, 127);
            const auto velocity = words.size() > 2 ? parseNumber (words[2], 1, 127) : std::optional<int> (100);

            if (words.size() == 2 && words[0] == "off" && note)
                instrument.playKey (*note, 0);
            else if (words.size() <= 3 && words[0] == "on" && note && velocity)
                instrument.playKey (*note, *velocity);
            else if (line.isNotEmpty())
                std::cerr << "tarnovelle-emulator: not a key: \"" << line << "\" (on 60, on 60 90, off 60)\n";
        }

        static constexpr size_t maxLineLength = 64;
        bool open = true;
        std::string pending;
    };

    /** Follows the instrument's USB presence: when it restarts (into its bootloader or into
        new firmware) its ports vanish for a moment and come back as new ports.
    */
    void runUntilQuit (EmulatedInstrument& instrument, VirtualPorts& ports, const juce::String& portName)
    {
        auto lastState = instrument.getPortPresence().getState();
        auto lastMode = instrument.getMode();
        KeyLines keys;

        while (! quitRequested.load())
        {
            juce::Thread::sleep (20);
            keys.playWhatHasArrived (instrument);

            const auto state = instrument.getPortPresence().getState();

            if (state != lastState)
            {
                ports.close();

                if (PortPresence::isPresentState (state))
                {
                    if (ports.open())
                        say ("Ports \"" + portName + "\" published again: " + describe (instrument));
                    else
                        say ("The ALSA sequencer refused the ports again: " + takeAlsaError());
                }
                else
                {
                    say ("Restarting: ports \"" + portName + "\" withdrawn");
                }

                lastState = state;
            }

            const auto mode = instrument.getMode();

            if (mode != lastMode && PortPresence::isPresentState (state))
                say ("Now " + describe (instrument));

            lastMode = mode;
        }
    }

    int run (const juce::StringArray& args)
    {
        Options options;
        const auto problem = parseArguments (args, options);

        if (problem.isNotEmpty())
        {
            std::cerr << "tarnovelle-emulator: " << problem << "\n\n" << usageText;
            return badArguments;
        }

        if (options.help)
        {
            std::cout << usageText;
            return success;
        }

        snd_lib_error_set_handler (&collectAlsaError);

        // The ports first: a computer without a sequencer leaves the memory file untouched.
        // JUCE's ports are only asked for once the sequencer opens, since a port it fails to
        // create is never freed.
        VirtualPorts ports (options.portName, options.verbose, options.notes);

        if (! sequencerOpens() || ! ports.open())
        {
            refuseWithoutSequencer (options.portName);
            return noSequencer;
        }

        auto instrument = options.keepState ? std::make_unique<EmulatedInstrument> (options.stateFile)
                                            : std::make_unique<EmulatedInstrument>();

        if (instrument->getStartState() == EmulatedInstrument::StartState::damagedFile)
            say ("The memory file could not be read; it was set aside as .bak and the instrument starts "
                 "factory-fresh.");

        applyOptions (*instrument, options);
        ports.connectTo (*instrument);

        std::signal (SIGINT, requestQuit);
        std::signal (SIGTERM, requestQuit);

        say ("Tarnovelle emulator: MIDI ports \"" + options.portName + "\" published, " + describe (*instrument) + ".");
        say (options.keepState ? "Memory: " + options.stateFile.getFullPathName() : juce::String ("Memory: none kept"));
        say ("Ctrl+C ends it.");

        runUntilQuit (*instrument, ports, options.portName);

        ports.disconnect (*instrument);
        ports.close();
        instrument.reset();
        say ("Tarnovelle emulator ended.");
        return success;
    }
} // namespace

} // namespace tarnovelle

int main (int argc, char* argv[])
{
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return tarnovelle::run (args);
}
