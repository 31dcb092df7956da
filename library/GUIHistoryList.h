#pragma once

#include "library/SnapshotStore.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

namespace tarnovelle
{

/** The snapshots, newest first, with time, star, cause, name and a small picture of the eight
    sequences. Rows are read from the store a page at a time as they come into view, so a
    library of any size opens and scrolls at once.

    The selection is a set of snapshots, not of rows: when snapshots come, go or are filtered
    out, each selected one keeps its selection on whatever row it moves to, and one that is no
    longer listed leaves the selection.
*/
class GUIHistoryList final : public juce::Component, private juce::ListBoxModel
{
public:
    static constexpr int pageSize = 100;
    static constexpr int rowHeight = 42;

    explicit GUIHistoryList (SnapshotStore& store);
    ~GUIHistoryList() override;

    void setFilter (const SnapshotFilter& newFilter);

    /** Reads the number of rows again, forgets the pages read and puts the selection on the
        rows its snapshots are on now.
    */
    void refresh();

    /** The ids of the selected snapshots, newest first. */
    const std::vector<juce::int64>& getSelectedIds() const noexcept { return selectedIds; }

    /** The selected snapshots, at most two, the older first. */
    std::vector<Snapshot> getSelectedSnapshots();

    /** The snapshot of a row, reading its page if needed; nullptr past the end. */
    const Snapshot* getRow (int row);

    juce::ListBox& getListBox() noexcept { return *mList; }
    int getNumPagesRead() const noexcept { return (int) pages.size(); }
    int getNumSnapshots() const noexcept { return numRows; }

    /** Called when the set of selected snapshots changes, by a click or because a selected
        one is no longer listed.
    */
    std::function<void()> onSelectionChanged;

    void resized() override;

    /** Draws the eight sequences as strips of 64 steps: notes by pitch, rests dim. */
    static void paintPreview (juce::Graphics& g, const Snapshot& snapshot, juce::Rectangle<float> area);

private:
    int getNumRows() override { return numRows; }
    void paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected) override;
    void selectedRowsChanged (int lastRowSelected) override;
    void selectRowsOfSelectedIds();

    SnapshotStore& store;
    SnapshotFilter filter;
    int numRows = 0;
    std::map<int, std::vector<Snapshot>> pages;
    std::vector<juce::int64> selectedIds;
    bool movingSelection = false;
    std::unique_ptr<juce::ListBox> mList;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistoryList)
};

} // namespace tarnovelle
