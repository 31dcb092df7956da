#pragma once

#include "library/SnapshotStore.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

namespace tarnovelle
{

/** The snapshots, newest first, with time, star, cause, name and a small picture of the eight
    sequences. Rows are read from the store a page at a time as they come into view, so a
    library of any size opens and scrolls at once.
*/
class GUIHistoryList final : public juce::Component, private juce::ListBoxModel
{
public:
    static constexpr int pageSize = 100;
    static constexpr int rowHeight = 42;

    explicit GUIHistoryList (SnapshotStore& store);
    ~GUIHistoryList() override;

    void setFilter (const SnapshotFilter& newFilter);

    /** Reads the number of rows again and forgets the pages read. */
    void refresh();

    /** The selected snapshots, at most two, the older first. */
    std::vector<Snapshot> getSelectedSnapshots();

    /** The snapshot of a row, reading its page if needed; nullptr past the end. */
    const Snapshot* getRow (int row);

    juce::ListBox& getListBox() noexcept { return *mList; }
    int getNumPagesRead() const noexcept { return (int) pages.size(); }
    int getNumSnapshots() const noexcept { return numRows; }

    std::function<void()> onSelectionChanged;

    void resized() override;

    /** Draws the eight sequences as strips of 64 steps: notes by pitch, rests dim. */
    static void paintPreview (juce::Graphics& g, const Snapshot& snapshot, juce::Rectangle<float> area);

private:
    int getNumRows() override { return numRows; }
    void paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected) override;
    void selectedRowsChanged (int lastRowSelected) override;

    SnapshotStore& store;
    SnapshotFilter filter;
    int numRows = 0;
    std::map<int, std::vector<Snapshot>> pages;
    std::unique_ptr<juce::ListBox> mList;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistoryList)
};

} // namespace tarnovelle
