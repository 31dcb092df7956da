#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** `tarnovelle-seq history [--db FILE] list|show ID|diff ID ID|export ID FILE.tvseq`: the
    instrument's history, read from the application's library (never changed, except that
    export writes its file). The arguments start with "history"; returns the exit status.
*/
int runHistoryCommand (const juce::StringArray& args);

/** The lines the usage text gives the command. */
extern const char* const historyUsageText;

} // namespace tarnovelle
