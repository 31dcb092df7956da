// The emulated instrument's memory (firmware version, settings, sequences, mode), its factory
// state, and the JSON file it is kept in between runs.

#include "emulator/EmulatedInstrument.h"

#include "EmulatedInstrumentWire.h"

namespace tarnovelle
{

using namespace emulated;

namespace
{
    Bytes stepsFromText (const char* text)
    {
        Bytes steps;

        for (auto& token : juce::StringArray::fromTokens (text, " ", {}))
            steps.push_back (token == "x" ? restStep : (uint8) token.getIntValue());

        return steps;
    }

    // The eight sequences a new instrument leaves the factory with. Written out here on purpose
    // as well as in the application: the tests that reset the sequences compare the two.
    const std::array<Bytes, EmulatedInstrument::numSequences>& factorySequences()
    {
        static const std::array<Bytes, EmulatedInstrument::numSequences> sequences{
            stepsFromText ("60 60 60 60 60 60 60 60 60 60 60 60 60 60 60 60"),
            stepsFromText ("60 60 60 48 60 60 60 72 60 60 60 48 60 60 72 48"),
            stepsFromText ("48 60 48 60 48 60 63 51 48 60 48 60 63 51 67 55 48 60 48 60 48 60 63 51 48 60 48 60 63 51 "
                           "67 61"),
            stepsFromText ("60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 63 51 x 63 51 x 65 x"),
            stepsFromText ("48 60 72 70 48 67 60 55 48 x 65 72 48 62 72 62 51 58 63 72 51 70 63 58 51 x 62 72 51 72 "
                           "62 64"),
            stepsFromText ("48 x x 60 48 x 60 x 60 x x 72 60 x 60 x 48 x x 60 48 x 60 x 65 x x 65 x x 68 x 48 x x 60 "
                           "48 x 60 x 60 x x 72 60 x 60 x 48 x x 60 48 x 60 x 53 65 52 64 51 63 50 49"),
            stepsFromText ("60 72 48 60 60 x x 48 60 72 x 60 60 x x 73 48 72 60 61 60 x 72 84 72 48 79 82 48 77 81 70"),
            stepsFromText ("48 48 x x 72 60 48 48 x x 48 x 72 x 82 x 48 48 x x 72 60 48 48 x x 48 x 72 x 75 x 48 48 "
                           "x x 72 49 48 48 x x 60 x 72 x 82 x 48 48 x x x x 48 48 x 48 48 x x 48 x x"),
        };

        return sequences;
    }

    juce::String versionToString (const Version& v)
    {
        return juce::String (v[0]) + "." + juce::String (v[1]) + "." + juce::String (v[2]) + "." + juce::String (v[3]);
    }

    bool parseVersion (const juce::var& value, Version& version)
    {
        if (! value.isString())
            return false;

        auto parts = juce::StringArray::fromTokens (value.toString(), ".", {});

        if (parts.size() != 4)
            return false;

        for (int i = 0; i < 4; ++i)
        {
            if (parts[i].isEmpty() || ! parts[i].containsOnly ("0123456789") || parts[i].length() > 3)
                return false;

            const auto number = parts[i].getIntValue();

            if (number > 127)
                return false;

            version[(size_t) i] = (uint8) number;
        }

        return true;
    }

    bool readByte (const juce::var& value, int minimum, uint8& result)
    {
        if (! (value.isInt() || value.isInt64()))
            return false;

        const auto number = (juce::int64) value;

        if (number < minimum || number > 127)
            return false;

        result = (uint8) number;
        return true;
    }

    /** Writes the text next to the target and then moves it over the target in one step, so
        that a reader sees either the old memory or the new one, never a half-written file.
    */
    bool writeFileAtomically (const juce::File& target, const juce::String& text)
    {
        if (! target.getParentDirectory().createDirectory())
            return false;

        juce::TemporaryFile temporary (target, juce::TemporaryFile::useHiddenFile);

        {
            juce::FileOutputStream out (temporary.getFile());

            if (! out.openedOk())
                return false;

            out.writeText (text, false, false, "\n");
            out.flush();

            if (out.getStatus().failed())
                return false;
        }

        return temporary.overwriteTargetFileWithTemporary();
    }
} // namespace

juce::File EmulatedInstrument::getDefaultStateFile()
{
    const auto fromEnvironment = juce::SystemStats::getEnvironmentVariable ("TARNOVELLE_EMULATOR_STATE", {});

    if (fromEnvironment.isNotEmpty())
        return juce::File::getCurrentWorkingDirectory().getChildFile (fromEnvironment);

    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Tarnovelle Emulator")
        .getChildFile ("instrument.json");
}

//==============================================================================
EmulatedInstrument::Version EmulatedInstrument::getFirmwareVersion() const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.firmware;
}

void EmulatedInstrument::setFirmwareVersion (Version version)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.firmware = version;
    }

    save();
}

uint8 EmulatedInstrument::getSetting (DeviceSetting setting) const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.settings[(size_t) setting];
}

void EmulatedInstrument::setSetting (DeviceSetting setting, uint8 value)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.settings[(size_t) setting] = (uint8) (value & 0x7f);
    }

    save();
}

EmulatedInstrument::Bytes EmulatedInstrument::getSequence (int index) const
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return {};

    const juce::ScopedLock sl (memoryLock);
    return memory.sequences[(size_t) index];
}

void EmulatedInstrument::setSequence (int index, const Bytes& steps)
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return;

    {
        const juce::ScopedLock sl (memoryLock);
        memory.sequences[(size_t) index] = cleanSteps (steps.data(), steps.size());
    }

    save();
}

EmulatedInstrument::Mode EmulatedInstrument::getMode() const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.mode;
}

void EmulatedInstrument::setMode (Mode newMode)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.mode = newMode;
        transfer = Transfer();
    }

    save();
}

void EmulatedInstrument::resetToFactory()
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory = makeFactoryMemory();
        transfer = Transfer();
    }

    save();
}

uint8 EmulatedInstrument::getFactorySetting (DeviceSetting setting) noexcept
{
    switch (setting)
    {
        case DeviceSetting::MIN: return 16; // receive on all channels
        case DeviceSetting::BEND: return 2;
        case DeviceSetting::STEP: return 16;
        case DeviceSetting::GLEN: return 2;
        case DeviceSetting::MOUT:
        case DeviceSetting::MKEY:
        case DeviceSetting::LKEY:
        case DeviceSetting::INGN:
        case DeviceSetting::LFO:
        case DeviceSetting::VELO:
        case DeviceSetting::AFTE:
        case DeviceSetting::ARP:
        case DeviceSetting::TAP:
        case DeviceSetting::SYNC:
        default: return 0;
    }
}

EmulatedInstrument::Bytes EmulatedInstrument::getFactorySequence (int index)
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return {};

    return factorySequences()[(size_t) index];
}

EmulatedInstrument::Memory EmulatedInstrument::makeFactoryMemory()
{
    Memory fresh;

    for (auto& info : getDeviceSettingTable())
        fresh.settings[(size_t) info.setting] = getFactorySetting (info.setting);

    fresh.sequences = factorySequences();
    return fresh;
}

//==============================================================================
void EmulatedInstrument::loadOrStartFresh()
{
    if (! stateFile.existsAsFile())
    {
        startState = StartState::missingFile;
        save();
        return;
    }

    if (loadFrom (stateFile.loadFileAsString()))
    {
        startState = StartState::loaded;
        return;
    }

    // Keep the damaged memory for whoever wants to look at it, and start afresh.
    const auto backup = stateFile.getSiblingFile (stateFile.getFileName() + ".bak");
    backup.deleteFile();
    std::rename (stateFile.getFullPathName().toRawUTF8(), backup.getFullPathName().toRawUTF8());

    startState = StartState::damagedFile;
    memory = makeFactoryMemory();
    save();
}

bool EmulatedInstrument::loadFrom (const juce::String& json)
{
    juce::var root;

    if (json.isEmpty() || juce::JSON::parse (json, root).failed() || ! root.isObject())
        return false;

    auto loaded = makeFactoryMemory();

    if (! parseVersion (root["firmware"], loaded.firmware))
        return false;

    // A setting left out keeps its factory value; one that is there must be a 7-bit number.
    const auto settings = root["settings"];

    if (! settings.isObject())
        return false;

    for (auto& info : getDeviceSettingTable())
    {
        const auto value = settings[info.code];

        if (! value.isVoid() && ! readByte (value, 0, loaded.settings[(size_t) info.setting]))
            return false;
    }

    const auto* sequences = root["sequences"].getArray();

    if (sequences == nullptr || sequences->size() != numSequences)
        return false;

    for (int i = 0; i < numSequences; ++i)
    {
        const auto* steps = sequences->getReference (i).getArray();

        if (steps == nullptr || steps->size() > maxSteps)
            return false;

        auto& target = loaded.sequences[(size_t) i];
        target.clear();

        for (auto& step : *steps)
        {
            uint8 value = 0;

            if (! readByte (step, 1, value))
                return false;

            target.push_back (value);
        }
    }

    const auto mode = root["mode"];

    if (mode.isVoid() || mode.toString() == "application")
        loaded.mode = Mode::application;
    else if (mode.toString() == "bootloader")
        loaded.mode = Mode::bootloader;
    else
        return false;

    memory = loaded;
    return true;
}

juce::String EmulatedInstrument::toJson() const
{
    // Laid out by hand so that a person can read it: one line per setting, one per sequence.
    juce::StringArray settingLines;

    for (auto& info : getDeviceSettingTable())
        settingLines.add ("    " + juce::JSON::toString (juce::String (info.code)) + ": "
                          + juce::String ((int) memory.settings[(size_t) info.setting]));

    juce::StringArray sequenceLines;

    for (auto& sequence : memory.sequences)
    {
        juce::StringArray steps;

        for (auto step : sequence)
            steps.add (juce::String ((int) step));

        sequenceLines.add ("    [" + steps.joinIntoString (", ") + "]");
    }

    return "{\n"
           "  \"firmware\": \""
           + versionToString (memory.firmware)
           + "\",\n"
             "  \"mode\": \""
           + juce::String (memory.mode == Mode::application ? "application" : "bootloader")
           + "\",\n"
             "  \"settings\": {\n"
           + settingLines.joinIntoString (",\n")
           + "\n  },\n"
             "  \"sequences\": [\n"
           + sequenceLines.joinIntoString (",\n") + "\n  ]\n}\n";
}

void EmulatedInstrument::save()
{
    if (stateFile.getFullPathName().isEmpty())
        return;

    // Serialised under the save lock, so that the last file written holds the newest memory.
    const juce::ScopedLock sl (saveLock);
    juce::String text;

    {
        const juce::ScopedLock ml (memoryLock);
        text = toJson();
    }

    writeFileAtomically (stateFile, text);
}

} // namespace tarnovelle
