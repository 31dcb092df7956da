// The link's figure: a plug-in's Send of a kept set through the socket, against the sequence
// editor's Send of eight changed sequences, both with the history's copy taken first, against
// the emulated instrument in this process.

#include "ConnectedApplication.h"
#include "Figures.h"
#include "Harness.h"

#include "app/LinkService.h"
#include "library/InstrumentHistory.h"
#include "link/LinkClient.h"

#include <future>

namespace tarnovelle::benchmark
{

namespace
{
    /** Eight whole sequences of 64 notes from `note` up: two such sets differ in every step,
        and a send neither empties nor shortens a sequence, so nothing asks.
    */
    KeptSet makeSet (int note)
    {
        KeptSet set;

        for (auto& sequence : set.sequences)
            for (int step = 0; step < maxSequenceSteps; ++step)
                sequence[(size_t) step] = (uint8) (note + step % 24);

        set.settings[(size_t) DeviceSetting::BEND] = (uint8) (note % 12 + 1);
        return set;
    }

    /** Runs the work on a thread of its own, as a plug-in does, while the message loop runs here. */
    template <typename Work>
    auto onClientThread (Work&& work)
    {
        auto future = std::async (std::launch::async, std::forward<Work> (work));
        InstrumentRig::waitFor (
            [&future] { return future.wait_for (std::chrono::seconds (0)) == std::future_status::ready; }, 60000);
        return future.get();
    }
} // namespace

void measureLinkSend (int runs)
{
    ConnectedApplication application;

    if (! application.connect ("link send"))
        return;

    auto& controller = application.controller;
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile ("tarnovelle-benchmark-link", "");
    folder.createDirectory();
    InstrumentHistory history (folder.getChildFile ("library.sqlite"));
    controller.setHistory (&history, nullptr);
    LinkService service (controller, "benchmark", folder.getChildFile ("link"));
    LinkClient client;
    std::vector<double> link, editor;

    if (onClientThread ([&] { return client.connect (folder.getChildFile ("link"), 2000); }))
    {
        for (int run = 0; run < runs; ++run)
        {
            // The editor, its picture of the instrument fresh, sends eight changed sequences.
            controller.handleActionMessage ("RDSQ ");
            const auto edited = makeSet (40 + run % 2);
            std::vector<std::pair<int, EditedSequence>> replacements;

            for (int index = 0; index < numSequences; ++index)
                replacements.emplace_back (index, EditedSequence::fromStepBuffer (edited.sequences[(size_t) index]));

            controller.getSequenceEditorModel().replaceSequences (replacements);
            auto start = Clock::now();
            controller.handleActionMessage ("WRSQ ");
            editor.push_back (millisecondsSince (start));

            // The plug-in sends another set of eight through the link.
            LinkMessage send;
            send.type = LinkMessage::Type::send;
            send.set = makeSet (60 + run % 2);
            const auto [answer, took] = onClientThread ([&] {
                const auto sent = Clock::now();
                auto result = client.request (send, nullptr, 10000);
                return std::make_pair (result, millisecondsSince (sent));
            });

            if (answer.type != LinkMessage::Type::result || controller.getSequenceEditorModel().hasUnsentChanges())
            {
                failures.push_back ("link send: " + answer.text);
                break;
            }

            link.push_back (took);
        }
    }
    else
        failures.push_back ("link send: " + client.getProblem());

    controller.setHistory (nullptr, nullptr);
    folder.deleteRecursively();

    if (link.empty())
        return;

    Figure f;
    f.name = "link send of a kept set";
    f.measured = median (link);
    f.unit = "ms";
    f.floor = median (editor);
    f.floorMeaning = "ms (the editor's Send of 8)";
    f.goalRatio = 1.10;
    f.detail = "median " + spread (link, 1) + "; the editor's " + spread (editor, 1);
    results.push_back (f);
}

} // namespace tarnovelle::benchmark
