// tarnovelle-seq: the sequence set tool for users who keep .tvseq files without the
// instrument at hand. It checks a file, writes its MIDI files as the application does when
// saving, imports MIDI files as sequences, or prints the factory set.

#include "HistoryCommand.h"
#include "sequences/MidiExport.h"
#include "sequences/MidiImport.h"
#include "sequences/MidiTracks.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceTransfer.h"

#include <iostream>
#include <optional>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    enum ExitStatus
    {
        success = 0,
        badFile = 1,
        badArguments = 2
    };

    const juce::String usageText = "Usage:\n"
                                   "  tarnovelle-seq check FILE\n"
                                   "      Checks a .tvseq sequence file and prints the sequences it holds.\n"
                                   "  tarnovelle-seq midi FILE --step S --gate G\n"
                                   "      Writes FILE_1.mid ... FILE_8.mid, one MIDI file per sequence, as\n"
                                   "      Tarnovelle Connection does when it saves, for the step size S\n"
                                   "      (4, 8, 16 or 32) and the gate length G (1, 2 or 3). Sequences the\n"
                                   "      file does not name are written empty.\n"
                                   "  tarnovelle-seq import [--step S] [--track N]... [--channel C]...\n"
                                   "                        [--from-bar B] FILE.mid...\n"
                                   "      Imports each MIDI file as one sequence, at the step size S (4, 8,\n"
                                   "      16 or 32; 16 when not given), and prints a .tvseq file whose line k\n"
                                   "      holds the sequence of the k-th MIDI file (at most eight files).\n"
                                   "      --track takes the notes of track N only (numbered from 1 as\n"
                                   "      'tracks' lists them), --channel those of channel C only (1 to 16);\n"
                                   "      both may be given more than once. With --track and no --channel,\n"
                                   "      channel 10 (General MIDI percussion) is left out. --from-bar makes\n"
                                   "      bar B (from 1, by the file's first time signature, 4/4 when it has\n"
                                   "      none) the first step. Without them every note of the file counts.\n"
                                   "      A file that holds no note at all gives the empty sequence; a choice\n"
                                   "      that holds no note of a file that has notes ends with status 1 and\n"
                                   "      the reason.\n"
                                   "  tarnovelle-seq tracks FILE.mid\n"
                                   "      Lists the MIDI file's tracks, one a line: number, name, channels and\n"
                                   "      note count, separated by tabs.\n"
                                   "  tarnovelle-seq factory\n"
                                   "      Prints the factory sequences as a .tvseq file.\n"
                                   + juce::String (historyUsageText)
                                   + "  tarnovelle-seq --help\n"
                                     "      Prints this text.\n"
                                     "\n"
                                     "Exit status: 0 done, 1 the file is not a valid sequence file or could not\n"
                                     "be read or written, a MIDI file could not be imported as chosen, or the\n"
                                     "snapshot is missing or cannot be read, 2 bad arguments.\n";

    int badUsage (const juce::String& problem)
    {
        std::cerr << "tarnovelle-seq: " << problem << "\n\n" << usageText;
        return badArguments;
    }

    juce::File fileFromArgument (const juce::String& argument)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (argument);
    }

    /** A whole decimal number from the given list, or nothing. */
    std::optional<int> parseChoice (const juce::String& text, std::initializer_list<int> allowed)
    {
        if (text.isEmpty() || ! text.containsOnly ("0123456789") || text.length() > 3)
            return std::nullopt;

        const int value = text.getIntValue();

        for (auto choice : allowed)
            if (value == choice)
                return value;

        return std::nullopt;
    }

    /** A whole decimal number from min to max, or nothing. */
    std::optional<int> parseNumber (const juce::String& text, int min, int max)
    {
        if (text.isEmpty() || ! text.containsOnly ("0123456789") || text.length() > 5)
            return std::nullopt;

        const int value = text.getIntValue();
        return value >= min && value <= max ? std::optional<int> (value) : std::nullopt;
    }

    /** Reads and parses a file, printing the reason when it is not a valid sequence file. */
    std::optional<SequenceFileContent> readFile (const juce::File& file, std::string& text)
    {
        juce::String readError;

        if (readSequenceFileText (file, text, readError) != SequenceFileRead::ok)
        {
            std::cerr << readError << "\n";
            return std::nullopt;
        }

        auto content = parseSequenceFile (text);

        if (! content.isValid())
        {
            std::cerr << content.error << "\n";
            return std::nullopt;
        }

        return content;
    }

    void printContent (const SequenceFileContent& content, const std::string& text)
    {
        bool named[numSequences]{};

        for (const auto& sequence : content.sequences)
        {
            std::vector<uint8> steps (sequence.steps);
            steps.push_back (endOfSequenceStep);

            std::cout << "Line " << sequence.line << ": sequence " << sequence.number << ", " << sequence.steps.size()
                      << (sequence.steps.size() == 1 ? " step" : " steps");

            if (named[sequence.number - 1])
                std::cout << " (replaces an earlier line)";

            std::cout << "\n  " << formatSequenceLine (sequence.number, steps.data()) << "\n";
            named[sequence.number - 1] = true;
        }

        const bool stopsAtTrailingEmptyLine =
            content.stopLine == content.numLines && (text.empty() || text.back() == '\n');

        if (content.stopLine != 0 && ! stopsAtTrailingEmptyLine)
            std::cout << "Line " << content.stopLine
                      << " does not start with a sequence number from 1 to 8: it and any later lines are ignored.\n";

        juce::StringArray missing;

        for (int i = 0; i < numSequences; ++i)
            if (! named[i])
                missing.add (juce::String (i + 1));

        if (! missing.isEmpty())
            std::cout << "Not in the file (loading leaves them unchanged): sequence " << missing.joinIntoString (", ")
                      << "\n";
    }

    int runCheck (const juce::StringArray& args)
    {
        if (args.size() != 2)
            return badUsage ("check takes one FILE.");

        std::string text;
        const auto content = readFile (fileFromArgument (args[1]), text);

        if (! content)
            return badFile;

        printContent (*content, text);
        return success;
    }

    /** The set a cleared instrument would hold after loading the file. */
    SequenceSet applyToEmptySet (const SequenceFileContent& content)
    {
        SequenceSet set{};

        for (const auto& sequence : content.sequences)
        {
            auto& steps = set[(size_t) sequence.number - 1];
            steps.fill (endOfSequenceStep);
            std::copy (sequence.steps.begin(), sequence.steps.end(), steps.begin());
        }

        return set;
    }

    int runMidi (const juce::StringArray& args)
    {
        juce::String fileArgument, stepArgument, gateArgument;

        for (int i = 1; i < args.size(); ++i)
        {
            if (args[i] == "--step" || args[i] == "--gate")
            {
                if (i + 1 >= args.size())
                    return badUsage (args[i] + " needs a value.");

                auto& value = args[i] == "--step" ? stepArgument : gateArgument;
                value = args[++i];
            }
            else if (args[i].startsWith ("-") || fileArgument.isNotEmpty())
            {
                return badUsage ("unexpected argument: " + args[i]);
            }
            else
            {
                fileArgument = args[i];
            }
        }

        if (fileArgument.isEmpty())
            return badUsage ("midi needs a FILE.");

        const auto stepSize = parseChoice (stepArgument, { 4, 8, 16, 32 });
        const auto gateLength = parseChoice (gateArgument, { 1, 2, 3 });

        if (! stepSize)
            return badUsage ("--step must be 4, 8, 16 or 32.");

        if (! gateLength)
            return badUsage ("--gate must be 1, 2 or 3.");

        const auto file = fileFromArgument (fileArgument);
        std::string text;
        const auto content = readFile (file, text);

        if (! content)
            return badFile;

        const auto set = applyToEmptySet (*content);
        const auto timing = MidiExportTiming::fromSettings ((uint8) *stepSize, (uint8) *gateLength);
        int status = success;

        for (int index = 0; index < numSequences; ++index)
        {
            const auto target = getSequenceMidiFile (file, index + 1);

            if (writeSequenceMidiFile (target, set[(size_t) index].data(), timing))
            {
                std::cout << "Wrote " << target.getFullPathName() << "\n";
            }
            else
            {
                std::cerr << "Unable to write " << target.getFullPathName() << "\n";
                status = badFile;
            }
        }

        return status;
    }

    /** The import command's arguments. */
    struct ImportArguments
    {
        int stepSize = 16;
        std::set<int> tracks, channels;
        int fromBar = 1;
        juce::StringArray files;

        /** The choice for a file of numTracks tracks, or the reason it has none. */
        std::optional<MidiImportChoice> choiceFor (int numTracks, juce::String& problem) const
        {
            auto choice = MidiImportChoice::everything (stepSize);
            choice.fromBar = fromBar;

            if (! tracks.empty())
            {
                if (*tracks.rbegin() > numTracks)
                {
                    problem = "there is no track " + juce::String (*tracks.rbegin()) + ": the file has "
                              + juce::String (numTracks) + (numTracks == 1 ? " track." : " tracks.");
                    return std::nullopt;
                }

                choice.tracks = tracks;
                choice.channels = std::set<int>();

                for (int channel = 1; channel <= 16; ++channel)
                    if (channel != percussionChannel)
                        choice.channels->insert (channel);
            }

            if (! channels.empty())
                choice.channels = channels;

            return choice;
        }
    };

    /** Fills arguments from the command line; returns the problem, or an empty string. */
    juce::String parseImportArguments (const juce::StringArray& args, ImportArguments& parsed)
    {
        for (int i = 1; i < args.size(); ++i)
        {
            const auto& option = args[i];

            if (option == "--step" || option == "--track" || option == "--channel" || option == "--from-bar")
            {
                if (i + 1 >= args.size())
                    return option + " needs a value.";

                const auto& value = args[++i];
                const auto number = option == "--step"      ? parseChoice (value, { 4, 8, 16, 32 })
                                    : option == "--channel" ? parseNumber (value, 1, 16)
                                                            : parseNumber (value, 1, 65535);
                if (! number)
                    return option == "--step"      ? "--step must be 4, 8, 16 or 32."
                           : option == "--channel" ? "--channel must be a number from 1 to 16."
                                                   : option + " must be a number from 1.";

                if (option == "--step")
                    parsed.stepSize = *number;
                else if (option == "--from-bar")
                    parsed.fromBar = *number;
                else
                    (option == "--track" ? parsed.tracks : parsed.channels).insert (*number);
            }
            else if (option.startsWith ("-"))
            {
                return "unexpected argument: " + option;
            }
            else
            {
                parsed.files.add (option);
            }
        }

        if (parsed.files.isEmpty() || parsed.files.size() > numSequences)
            return "import needs one to eight MIDI files.";

        return {};
    }

    /** Imports one file as the arguments choose, or prints why it cannot be. */
    std::optional<MidiImportResult> importFile (const juce::String& name, const ImportArguments& arguments)
    {
        juce::MidiFile file;
        auto problem = readMidiFile (fileFromArgument (name), file);
        std::optional<MidiImportResult> result;

        if (problem.isEmpty())
            if (const auto choice = arguments.choiceFor (file.getNumTracks(), problem))
                result = importMidiSequence (file, *choice);

        if (result && ! result->isValid())
            problem = result->error;

        if (problem.isNotEmpty())
        {
            std::cerr << "tarnovelle-seq: " << name << ": " << problem << "\n";
            return std::nullopt;
        }

        if (result->droppedNotes > 0)
            std::cerr << "tarnovelle-seq: " << name << ": " << result->getWarning() << "\n";

        return result;
    }

    int runImport (const juce::StringArray& args)
    {
        ImportArguments arguments;

        if (const auto problem = parseImportArguments (args, arguments); problem.isNotEmpty())
            return badUsage (problem);

        juce::StringArray lines;

        for (int k = 0; k < arguments.files.size(); ++k)
        {
            const auto result = importFile (arguments.files[k], arguments);

            if (! result)
                return badFile;

            auto steps = result->steps;
            steps.push_back (endOfSequenceStep);
            lines.add (formatSequenceLine (k + 1, steps.data()));
        }

        std::cout << lines.joinIntoString ("\n");
        return success;
    }

    int runTracks (const juce::StringArray& args)
    {
        if (args.size() != 2 || args[1].startsWith ("-"))
            return badUsage ("tracks takes one FILE.mid.");

        juce::MidiFile file;

        if (const auto problem = readMidiFile (fileFromArgument (args[1]), file); problem.isNotEmpty())
        {
            std::cerr << "tarnovelle-seq: " << args[1] << ": " << problem << "\n";
            return badFile;
        }

        for (const auto& track : summariseMidiTracks (file))
            std::cout << track.number << "\t" << track.name << "\t" << describeChannels (track.channels) << "\t"
                      << track.noteCount << "\n";

        return success;
    }

    int runFactory (const juce::StringArray& args)
    {
        if (args.size() != 1)
            return badUsage ("factory takes no arguments.");

        // The exact file text, without a final line feed, so that the output redirected to a
        // file is the file the application would save; a terminal gets one to end the line.
        std::cout << formatSequenceFile (getFactorySequences());

        if (isatty (STDOUT_FILENO))
            std::cout << "\n";

        return success;
    }

    int run (const juce::StringArray& args)
    {
        if (args.isEmpty())
            return badUsage ("no command given.");

        const auto& command = args[0];

        if (command == "--help" || command == "-h" || command == "help")
        {
            std::cout << usageText;
            return success;
        }

        if (command == "check")
            return runCheck (args);

        if (command == "midi")
            return runMidi (args);

        if (command == "import")
            return runImport (args);

        if (command == "tracks")
            return runTracks (args);

        if (command == "factory")
            return runFactory (args);

        if (command == "history")
            return runHistoryCommand (args);

        return badUsage ("unknown command: " + command);
    }
} // namespace

} // namespace tarnovelle

int main (int argc, char** argv)
{
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return tarnovelle::run (args);
}
