// The link between the program and its plug-ins: the messages and their framing, the folder
// the socket lives in, and both ends in one process, the program's end carrying requests out on
// the emulated instrument through the application controller.

#include "app/LinkService.h"
#include "library/InstrumentHistory.h"
#include "library/SettingTexts.h"
#include "link/LinkClient.h"
#include "link/LinkFrame.h"
#include "link/LinkSocket.h"
#include "link/RecallState.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/ScratchFolder.h"

#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
KeptSet makeSet (uint8 firstNote)
{
    KeptSet set;
    set.sequences = setOf (
        [firstNote] (int index) { return std::vector<uint8> ((size_t) index * 3 + 1, (uint8) (firstNote + index)); });
    set.sequences[2][1] = restStep;
    set.sequences[7][2] = 126; // the instrument's highest note, which a sequence file refuses
    set.settings[(size_t) DeviceSetting::BEND] = 7;
    set.settings[(size_t) DeviceSetting::SYNC] = 1;
    return set;
}

LinkMessage makeRequest (LinkMessage::Type type, std::optional<KeptSet> set = std::nullopt)
{
    LinkMessage message;
    message.type = type;
    message.set = set;
    return message;
}

std::optional<LinkMessage> decode (const juce::String& text)
{
    juce::String problem;
    return decodeLinkMessage (text.toRawUTF8(), text.getNumBytesAsUTF8(), problem);
}

juce::MemoryBlock frameText (const juce::String& text)
{
    return frameLinkPayload (juce::MemoryBlock (text.toRawUTF8(), text.getNumBytesAsUTF8()));
}
} // namespace

TEST (LinkProtocol, MessagesSurviveTheWireAndAnythingElseIsRefused)
{
    auto send = makeRequest (LinkMessage::Type::send, makeSet (40));
    send.requestId = 4000000000u;
    auto compared = makeRequest (LinkMessage::Type::result);
    compared.differs = true;
    compared.lines = { "Sequence 3: length 7 / 16, steps 2, 8-16 differ", "Bend Range: 7 / 12" };
    compared.text = "two\nlines";
    const auto error = LinkMessage::makeError (9, LinkMessage::Error::busy, "Busy.");

    for (const auto& message : { send, compared, error })
    {
        const auto wire = encodeLinkMessage (message);
        juce::String problem;
        const auto back = decodeLinkMessage (wire.getData(), wire.getSize(), problem);
        ASSERT_TRUE (back.has_value()) << problem;
        EXPECT_EQ (back->type, message.type);
        EXPECT_EQ (back->requestId, message.requestId);
        EXPECT_EQ (back->set, message.set);
        EXPECT_EQ (back->differs, message.differs);
        EXPECT_EQ (back->lines, message.lines);
        EXPECT_EQ (back->error, message.error);
        EXPECT_EQ (back->text, message.text.replace ("\n", " "));
    }

    const juce::String eight = "seq 1:60\nseq 2:\nseq 3:\nseq 4:\nseq 5:\nseq 6:\nseq 7:\nseq 8:";
    EXPECT_TRUE (decode ("send 1\n" + eight + "\nsetting MIN 3").has_value());

    for (const auto& bad : juce::StringArray{
             "send 1", "send 1\n" + eight.replace ("seq 8:", "seq 7:"),
             "send 1\n" + eight.replace ("seq 8:", "seq 8:127"), "send 1\n" + eight + "\nsetting MIN 128",
             "send 1\n" + eight + "\nsetting MIN 1\nsetting MIN 2", "take 01", "take 4294967296", "take 1 2", "nap 1",
             "take 1\ntext a\ntext b", "take 1\nwhat 2", "hello 0\nversions 3 2", "progress 1\nprogress 9 8",
             "error 1\nerror none", "take 1\n", "take 1\r\n" })
        EXPECT_FALSE (decode (bad).has_value()) << bad;

    const char notUtf8[] = "take 1\ntext \xc3\x28";
    juce::String problem;
    EXPECT_FALSE (decodeLinkMessage (notUtf8, sizeof (notUtf8) - 1, problem).has_value());

    // Frames come out whole and in order whatever the pieces they arrive in; a length above
    // the limit fails the reader before any of its bytes are kept.
    auto stream = frameText ("a");
    stream.append (frameText ("bcd").getData(), 7);
    LinkFrameReader reader (8);

    for (size_t i = 0; i < stream.getSize(); ++i)
        ASSERT_TRUE (reader.append (static_cast<const char*> (stream.getData()) + i, 1));

    EXPECT_EQ (reader.next()->toString(), "a");
    EXPECT_EQ (reader.next()->toString(), "bcd");
    EXPECT_FALSE (reader.next().has_value());
    EXPECT_FALSE (reader.append (frameText ("123456789").getData(), 4));
    EXPECT_TRUE (reader.hasFailed());
}

TEST (LinkSocket, TheSocketLivesOnlyInAFolderOfThisUsersAlone)
{
    ScratchFolder scratch ("link-folder");
    const auto* previous = ::getenv ("XDG_RUNTIME_DIR");
    const juce::String kept (previous != nullptr ? previous : "");

    ::unsetenv ("XDG_RUNTIME_DIR");
    EXPECT_FALSE (LinkSocket::findSocketFile (true).has_value());

    ::setenv ("XDG_RUNTIME_DIR", scratch.folder.getFullPathName().toRawUTF8(), 1);
    const auto made = LinkSocket::findSocketFile (true);
    ASSERT_TRUE (made.has_value());
    struct stat info
    {};
    ASSERT_EQ (::stat (made->getParentDirectory().getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u);

    // A folder others may enter, or a link to one, is not used.
    ::chmod (made->getParentDirectory().getFullPathName().toRawUTF8(), 0755);
    EXPECT_FALSE (LinkSocket::findSocketFile (true).has_value());
    made->getParentDirectory().deleteRecursively();
    scratch.folder.getChildFile ("elsewhere").createDirectory();
    ::chmod (scratch.folder.getChildFile ("elsewhere").getFullPathName().toRawUTF8(), 0700);
    scratch.folder.getChildFile ("elsewhere").createSymbolicLink (made->getParentDirectory(), true);
    EXPECT_FALSE (LinkSocket::findSocketFile (true).has_value());

    if (previous != nullptr)
        ::setenv ("XDG_RUNTIME_DIR", kept.toRawUTF8(), 1);
    else
        ::unsetenv ("XDG_RUNTIME_DIR");
}

//==============================================================================
/** The program with its history on the emulated instrument, connected, listening on a
    socket of a scratch folder.
*/
struct LinkEnds : public ::testing::Test
{
    ScratchFolder scratch{ "link" };
    ApplicationRig app;
    std::unique_ptr<InstrumentHistory> history;
    std::unique_ptr<LinkService> service;
    juce::File socketFile = scratch.folder.getChildFile ("link");

    void SetUp() override
    {
        history = std::make_unique<InstrumentHistory> (scratch.folder.getChildFile ("library.sqlite"));
        app.controller.setHistory (history.get(), nullptr);
        ASSERT_TRUE (app.startConnected());
        service = std::make_unique<LinkService> (app.controller, "Tarnovelle Connection Demo", socketFile);
        ASSERT_TRUE (service->isListening());
    }

    /** Runs the work on a thread of its own, as a plug-in does, while the message loop runs here. */
    template <typename Work>
    auto onClientThread (Work&& work)
    {
        auto future = std::async (std::launch::async, std::forward<Work> (work));
        EXPECT_TRUE (test::waitFor (
            [&future] { return future.wait_for (std::chrono::seconds (0)) == std::future_status::ready; }));
        return future.get();
    }

    LinkMessage ask (LinkClient& client, const LinkMessage& request, int* progressCount = nullptr)
    {
        return onClientThread ([&] {
            return client.request (
                request,
                [progressCount] (int, int) {
                    if (progressCount != nullptr)
                        ++*progressCount;

                    return true;
                },
                5000);
        });
    }

    bool connect (LinkClient& client)
    {
        return onClientThread ([&] { return client.connect (socketFile, 2000); });
    }

    /** What the program answers a peer that sends these bytes (after its hello, or instead
        of one), and whether it then closed the link.
    */
    std::pair<std::optional<LinkMessage>, bool> answerTo (const juce::MemoryBlock& bytes, bool greetFirst)
    {
        return onClientThread ([&] {
            LinkClient client;
            const bool open = greetFirst ? client.connect (socketFile, 2000) : client.open (socketFile, 2000);
            const auto answer = open && client.sendBytes (bytes.getData(), bytes.getSize(), 2000)
                                    ? client.receive (2000)
                                    : std::nullopt;
            const bool closed = ! client.receive (LinkServer::patienceMs + 2000).has_value()
                                && client.getProblem() == "the program closed the link";
            return std::make_pair (answer, closed);
        });
    }
};

TEST_F (LinkEnds, TakeCompareSendAndOpenGoThroughTheProgram)
{
    LinkClient client;
    ASSERT_TRUE (connect (client)) << client.getProblem();
    EXPECT_EQ (client.getPeerName(), "Tarnovelle Connection Demo");

    // Every step the instrument can hold crosses the link, its highest note too.
    app.rig.instrument.setSequence (7, { 60, 126, restStep, 1 });
    int progressCount = 0;
    const auto taken = ask (client, makeRequest (LinkMessage::Type::take), &progressCount);
    ASSERT_EQ (taken.type, LinkMessage::Type::result) << taken.text;
    ASSERT_TRUE (taken.set.has_value());
    EXPECT_EQ (taken.set->sequences, sequencesIn (app.rig.instrument));
    EXPECT_EQ (taken.set->settings[(size_t) DeviceSetting::BEND], app.rig.instrument.getSetting (DeviceSetting::BEND));
    EXPECT_GE (progressCount, numSequences);

    const auto kept = makeSet (50);
    auto compared = ask (client, makeRequest (LinkMessage::Type::compare, kept));
    ASSERT_EQ (compared.type, LinkMessage::Type::result) << compared.text;
    EXPECT_TRUE (compared.differs);
    const auto differences = compared.lines.joinIntoString ("\n");
    EXPECT_TRUE (differences.contains ("Sequence 3: length 7 / ")) << differences;
    EXPECT_TRUE (differences.contains (getSettingPanelName (DeviceSetting::BEND) + ": 7 / ")) << differences;

    // The send writes sequences and settings, after a copy of what the instrument held.
    const auto sent = ask (client, makeRequest (LinkMessage::Type::send, kept));
    ASSERT_EQ (sent.type, LinkMessage::Type::result) << sent.text;
    EXPECT_EQ (sequencesIn (app.rig.instrument), kept.sequences);
    EXPECT_TRUE (test::waitFor ([&] { return app.rig.instrument.getSetting (DeviceSetting::BEND) == 7; }));
    const auto snapshots = history->getStore().getPage ({}, 0, 100);
    ASSERT_GE (snapshots.size(), 2u);
    EXPECT_EQ (snapshots[1].cause, "Before sending from Tarnovelle Recall");
    EXPECT_EQ (snapshots[1].sequences, taken.set->sequences);
    EXPECT_EQ (snapshots[0].cause, "Sent from Tarnovelle Recall");

    compared = ask (client, makeRequest (LinkMessage::Type::compare, kept));
    EXPECT_FALSE (compared.differs) << compared.lines.joinIntoString ("\n");

    // A send the plug-in stops after the third sequence ends at the next one the program gets
    // to (the cancel crosses the progress on the way), and the sequences after it stay as they were.
    const auto other = makeSet (80);
    const auto stopped = onClientThread ([&] {
        return client.request (
            makeRequest (LinkMessage::Type::send, other), [] (int done, int) { return done < 3; }, 5000);
    });
    EXPECT_EQ (stopped.error, LinkMessage::Error::interrupted);
    const auto sentCount = (size_t) stopped.text.fromFirstOccurrenceOf ("Sequences 1 to ", false, false).getIntValue();
    EXPECT_TRUE (stopped.text.startsWith ("The send was stopped.") && sentCount >= 3 && sentCount < 8) << stopped.text;
    const auto heldNow = sequencesIn (app.rig.instrument);

    for (size_t index = 0; index < (size_t) numSequences; ++index)
        EXPECT_EQ (heldNow[index], (index < sentCount ? other : kept).sequences[index]) << index;

    // Opened in the editor, the set is there as changes not yet sent.
    auto opened = KeptSet{ heldNow, {} };
    opened.sequences[5].fill (0);
    EXPECT_EQ (ask (client, makeRequest (LinkMessage::Type::openInEditor, opened)).type, LinkMessage::Type::result);
    EXPECT_EQ (app.controller.getSequenceEditorModel().getChangedIndices(), std::vector<int>{ 5 });
    EXPECT_EQ (sequencesIn (app.rig.instrument), heldNow);
}

TEST_F (LinkEnds, RequestsAreRefusedWhileBusyOrWithoutTheInstrumentAndChangeNothing)
{
    LinkClient client;
    ASSERT_TRUE (connect (client));
    const auto before = sequencesIn (app.rig.instrument);

    // A request made while the user's reset asks for confirmation is refused, not queued.
    std::optional<LinkMessage> duringReset;
    app.rig.dialogs.onDialog = [&] (const ScriptedDialogs::Record&) {
        if (! duringReset.has_value())
            duringReset = ask (client, makeRequest (LinkMessage::Type::send, makeSet (30)));
    };
    app.rig.dialogs.answerOkCancel (false);
    app.controller.handleActionMessage ("FCSQ ");
    ASSERT_TRUE (duringReset.has_value());
    EXPECT_EQ (duringReset->error, LinkMessage::Error::busy) << duringReset->text;
    app.rig.dialogs.onDialog = nullptr;

    app.controller.disconnect();
    const auto absent = ask (client, makeRequest (LinkMessage::Type::send, makeSet (30)));
    EXPECT_EQ (absent.error, LinkMessage::Error::absent);
    EXPECT_EQ (absent.text, "Tarnovelle is not connected to Tarnovelle Connection.");
    EXPECT_EQ (sequencesIn (app.rig.instrument), before);
}

TEST_F (LinkEnds, StrangersAndBrokenPeersGetAnErrorAndNothingElse)
{
    const auto before = sequencesIn (app.rig.instrument);
    const auto hello = frameText ("hello 0\nversions 7 9");
    const auto send = encodeLinkMessage (makeRequest (LinkMessage::Type::send, makeSet (30)));

    struct Case
    {
        juce::MemoryBlock bytes;
        bool greetFirst;
        LinkMessage::Error expected;
    };

    const Case cases[] = { { hello, false, LinkMessage::Error::version },
                           { frameLinkPayload (send), false, LinkMessage::Error::malformed },
                           { frameText ("send 1\nseq 1:60"), true, LinkMessage::Error::malformed },
                           { frameText (juce::String::repeatedString ("x", maxLinkMessageBytes + 1)), true,
                             LinkMessage::Error::oversized } };

    for (const auto& [bytes, greetFirst, expected] : cases)
    {
        const auto [answer, closed] = answerTo (bytes, greetFirst);
        ASSERT_TRUE (answer.has_value());
        EXPECT_EQ (answer->error, expected) << answer->text;
        EXPECT_TRUE (closed);
    }

    // More requests at once than a peer may have under way: the one too many is refused, the
    // others are answered once the program gets to them.
    juce::MemoryBlock flood = frameText ("hello 0\nversions 1 1");

    for (int i = 1; i <= LinkServer::maxRequestsPerPeer + 1; ++i)
        flood.append (frameText ("take " + juce::String (i)).getData(), frameText ("take 1").getSize());

    const auto answers = onClientThread ([&] {
        LinkClient client;
        std::vector<LinkMessage> received;
        int results = 0;

        if (client.open (socketFile, 2000) && client.sendBytes (flood.getData(), flood.getSize(), 2000))
        {
            for (auto answer = client.receive (5000); answer.has_value(); answer = client.receive (5000))
            {
                received.push_back (*answer);
                results += answer->type == LinkMessage::Type::result ? 1 : 0;

                if (results == LinkServer::maxRequestsPerPeer)
                    break;
            }
        }

        return received;
    });
    ASSERT_GE (answers.size(), 2u);
    EXPECT_EQ (answers[0].type, LinkMessage::Type::hello);
    EXPECT_EQ (answers[1].error, LinkMessage::Error::flood);
    EXPECT_EQ (answers[1].requestId, (juce::uint32) LinkServer::maxRequestsPerPeer + 1);
    EXPECT_EQ (std::count_if (answers.begin(), answers.end(),
                              [] (auto& answer) { return answer.type == LinkMessage::Type::result; }),
               LinkServer::maxRequestsPerPeer);
    EXPECT_EQ (sequencesIn (app.rig.instrument), before);
}

TEST_F (LinkEnds, APeerOfAnotherUserIsClosedUnheard)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "only root can connect as another user";

    // The socket is opened to everyone here, so that only the check of the peer keeps others out.
    ::chmod (scratch.folder.getFullPathName().toRawUTF8(), 0755);
    ::chmod (socketFile.getFullPathName().toRawUTF8(), 0666);
    const auto hello = frameText ("hello 0\nversions 1 1");
    const auto path = socketFile.getFullPathName().toStdString();

    const pid_t child = ::fork();

    if (child == 0)
    {
        // Only system calls from here: the test program's other threads did not come along.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy (address.sun_path, path.c_str(), path.size());
        const int fd = ::socket (AF_UNIX, SOCK_STREAM, 0);

        if (::setgid (65534) != 0 || ::setuid (65534) != 0
            || ::connect (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0)
            ::_exit (2);

        [[maybe_unused]] auto sent = ::send (fd, hello.getData(), hello.getSize(), MSG_NOSIGNAL);
        pollfd entry{ fd, POLLIN, 0 };
        char byte;
        ::_exit (::poll (&entry, 1, 3000) == 1 && ::read (fd, &byte, 1) <= 0 ? 0 : 1);
    }

    int status = 0;
    ASSERT_EQ (::waitpid (child, &status, 0), child);
    EXPECT_TRUE (WIFEXITED (status));
    EXPECT_EQ (WEXITSTATUS (status), 0) << "2: could not connect, 1: was answered or left open";
    EXPECT_EQ (service->getNumPeers(), 0);
}

TEST (RecallStateFile, AStateComesBackAsSavedAndANewerOrDamagedOneIsRefused)
{
    RecallState state;
    state.set = makeSet (70);
    state.sendOnOpen = true;

    for (const auto& saved : { state, RecallState{} })
    {
        const auto bytes = saveRecallState (saved);
        const auto read = loadRecallState (bytes.getData(), bytes.getSize());
        ASSERT_TRUE (read.state.has_value()) << read.problem;
        EXPECT_EQ (*read.state, saved);
    }

    const auto text = saveRecallState (state).toString();
    const auto newer = text.replace ("version=\"1\"", "version=\"2\"");
    const auto read = loadRecallState (newer.toRawUTF8(), newer.getNumBytesAsUTF8());
    EXPECT_FALSE (read.state.has_value());
    EXPECT_EQ (read.problem, "This project was saved by a newer Tarnovelle Recall (state version 2). Its set is not "
                             "loaded; update the plug-in to use it.");

    for (const auto& damaged :
         { text.replace ("8:", "9:"), text.replace ("\"BEND\" value=\"7\"", "\"BEND\" value=\"700\""),
           text.substring (0, text.length() / 2) })
        EXPECT_FALSE (loadRecallState (damaged.toRawUTF8(), damaged.getNumBytesAsUTF8()).state.has_value())
            << damaged.toStdString();
}
