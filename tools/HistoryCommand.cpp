#include "HistoryCommand.h"

#include "library/InstrumentHistory.h"
#include "library/SettingTexts.h"
#include "library/SnapshotComparison.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"

#include <iostream>

namespace tarnovelle
{

const char* const historyUsageText = "  tarnovelle-seq history [--db FILE] list\n"
                                     "      Lists the snapshots of the instrument's history, newest first: id, time,\n"
                                     "      cause and name, separated by tabs. FILE is the library; by default the\n"
                                     "      application's, $XDG_DATA_HOME/Tarnovelle Connection/library.sqlite.\n"
                                     "  tarnovelle-seq history [--db FILE] show ID\n"
                                     "      Prints one snapshot: its settings and its eight sequences.\n"
                                     "  tarnovelle-seq history [--db FILE] diff ID ID\n"
                                     "      Prints what differs between two snapshots.\n"
                                     "  tarnovelle-seq history [--db FILE] export ID FILE.tvseq\n"
                                     "      Writes the snapshot's eight sequences as a .tvseq file.\n"
                                     "      show, diff and export end with status 1 for a snapshot whose content\n"
                                     "      cannot be read: damaged, or written by a newer version.\n";

namespace
{
    enum ExitStatus
    {
        success = 0,
        badFile = 1,
        badArguments = 2
    };

    int badUsage (const juce::String& problem)
    {
        std::cerr << "tarnovelle-seq: " << problem << "\n\nUsage:\n" << historyUsageText;
        return badArguments;
    }

    int fail (const juce::String& problem)
    {
        std::cerr << "tarnovelle-seq: " << problem << "\n";
        return badFile;
    }

    std::optional<juce::int64> parseId (const juce::String& text)
    {
        if (text.isEmpty() || text.length() > 18 || ! text.containsOnly ("0123456789"))
            return std::nullopt;

        return text.getLargeIntValue();
    }

    void printSnapshot (const Snapshot& snapshot)
    {
        std::cout << "Snapshot " << snapshot.id << "\n"
                  << "Time: " << snapshot.getTimeText() << "\n"
                  << "Cause: " << snapshot.cause << "\n"
                  << "Name: " << snapshot.name << "\n"
                  << "Starred: " << (snapshot.starred ? "yes" : "no") << "\n"
                  << "Firmware: "
                  << (snapshot.firmware.has_value() ? Snapshot::formatFirmware (*snapshot.firmware) : "unknown")
                  << "\n";

        for (const auto& info : getDeviceSettingTable())
            std::cout << getSettingPanelName (info.setting) << ": "
                      << describeSettingValue (info.setting, snapshot.settings[(size_t) info.setting]) << "\n";

        std::cout << formatSequenceFile (snapshot.sequences) << "\n";
    }

    struct Command
    {
        juce::File database = InstrumentHistory::getDefaultLibraryFile();
        juce::StringArray words; // the subcommand and its arguments
    };

    std::optional<Command> parseArguments (const juce::StringArray& args)
    {
        Command command;

        for (int i = 1; i < args.size(); ++i)
        {
            if (args[i] == "--db")
            {
                if (i + 1 >= args.size())
                    return std::nullopt;

                command.database = juce::File::getCurrentWorkingDirectory().getChildFile (args[++i]);
            }
            else
            {
                command.words.add (args[i]);
            }
        }

        return command;
    }

    int run (const Command& command, SnapshotStore& store)
    {
        const auto& words = command.words;
        const auto& name = words[0];
        std::vector<Snapshot> snapshots;

        for (int i = 1; i < words.size() && (name != "export" || i == 1); ++i)
        {
            const auto id = parseId (words[i]);

            if (! id)
                return badUsage ("not a snapshot id: " + words[i]);

            auto snapshot = store.get (*id);

            if (! snapshot)
                return fail ("no snapshot " + words[i] + " in " + store.getFile().getFullPathName());

            snapshots.push_back (*snapshot);
        }

        for (const auto& snapshot : snapshots)
            if (! snapshot.isReadable())
                return fail ("snapshot " + juce::String (snapshot.id)
                             + " cannot be read: " + snapshot.describeContentProblem() + ".");

        if (name == "list")
        {
            for (const auto& s : store.getPage ({}, 0, std::numeric_limits<int>::max()))
                std::cout << s.id << "\t" << s.getTimeText() << "\t" << s.cause << "\t" << s.name << "\n";
        }
        else if (name == "show")
        {
            printSnapshot (snapshots[0]);
        }
        else if (name == "diff")
        {
            std::cout << SnapshotComparison::compare (snapshots[0], snapshots[1]).describe().joinIntoString ("\n")
                      << "\n";
        }
        else
        {
            const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (words[2]);
            const auto text = formatSequenceFile (snapshots[0].sequences).toStdString();

            if (! replaceFileWithData (target, text.data(), text.size()))
                return fail ("unable to write " + target.getFullPathName());
        }

        return success;
    }
} // namespace

int runHistoryCommand (const juce::StringArray& args)
{
    const auto command = parseArguments (args);

    if (! command)
        return badUsage ("--db needs a FILE.");

    const auto& words = command->words;
    const std::map<juce::String, int> numArguments{ { "list", 0 }, { "show", 1 }, { "diff", 2 }, { "export", 2 } };
    const auto known = numArguments.find (words[0]);

    if (words.isEmpty() || known == numArguments.end())
        return badUsage ("history needs list, show, diff or export.");

    if (words.size() != known->second + 1)
        return badUsage ("wrong number of arguments for history " + words[0] + ".");

    if (! command->database.existsAsFile())
        return fail ("no history library at " + command->database.getFullPathName());

    SnapshotStore store;
    const auto opened = store.openForReading (command->database);

    if (opened.access != SnapshotStore::Access::readOnly)
        return fail ("unable to read the history library " + command->database.getFullPathName() + ": "
                     + opened.problem);

    return run (*command, store);
}

} // namespace tarnovelle
