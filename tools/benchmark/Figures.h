#pragma once

// The benchmark's parts; each adds its figures to the table, or a failure.

#include <juce_core/juce_core.h>

namespace tarnovelle::benchmark
{

/** Connecting to the emulated instrument and reading its fourteen settings, `runs` times. */
void measureConnectAndRead (int runs);

/** Saving the eight sequences to a file, `runs` times. */
void measureSave (int runs);

/** The sequence editor's opening read of the eight sequences, `runs` times. */
void measureEditorRead (int runs);

/** A plug-in's Send of a kept set through the link, against the editor's Send of eight
    sequences, `runs` times each.
*/
void measureLinkSend (int runs);

/** The instrument's history: `snapshots` taken into a new library, then the History window
    over them, a comparison and the library's size.
*/
void measureHistory (int snapshots);

/** The sequence editor's playback at 120 BPM in sixteenths, played twice for `playSeconds`:
    with the message thread idle and busy; the first note after Play and a preview's note.
*/
void measurePlayback (int playSeconds);

/** The instrument plugged in and pulled `runs` times under the port watch, and the idle
    processor time connected with and without it, over `idleSeconds` each.
*/
void measurePortWatch (int runs, int idleSeconds);

/** The firmware transfer at several latencies, at most `runs` times each. */
void measureTransfers (int runs);

/** The demo and a bare JUCE window, both from `binFolder`, started, measured idle for
    `idleSeconds` and ended; with a `screenshot` file, the X screen saved into it.
*/
void measureWindows (const juce::File& binFolder, int idleSeconds, const juce::File& screenshot);

/** Keeps the X errors of windows shown without a window manager from ending the benchmark. */
void ignoreXErrorsOfWindowsWithoutManager();

} // namespace tarnovelle::benchmark
