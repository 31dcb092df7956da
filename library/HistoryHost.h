#pragma once

namespace tarnovelle
{

/** Where the action hub opens the "History" window: the interface gives it a window, tests
    count the requests.
*/
class HistoryHost
{
public:
    virtual ~HistoryHost() = default;

    /** Opens the History window, or brings it to the front. */
    virtual void openHistory() = 0;
};

} // namespace tarnovelle
