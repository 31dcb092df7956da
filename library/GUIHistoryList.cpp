#include "library/GUIHistoryList.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    // Pages kept in memory; scrolling far away reads the new ones and forgets the others.
    constexpr int maxPagesKept = 8;
    const juce::String star (juce::CharPointer_UTF8 ("\xe2\x98\x85"));
} // namespace

GUIHistoryList::GUIHistoryList (SnapshotStore& storeToShow)
    : store (storeToShow)
{
    mList = std::make_unique<juce::ListBox> ("Snapshots", static_cast<juce::ListBoxModel*> (this));
    mList->setRowHeight (rowHeight);
    mList->setMultipleSelectionEnabled (true);
    mList->setColour (juce::ListBox::backgroundColourId, Look::background);
    addAndMakeVisible (mList.get());
    refresh();
}

GUIHistoryList::~GUIHistoryList() { mList->setModel (nullptr); }

void GUIHistoryList::setFilter (const SnapshotFilter& newFilter)
{
    filter = newFilter;
    refresh();
}

void GUIHistoryList::refresh()
{
    pages.clear();
    numRows = store.count (filter);

    {
        // The list box drops selected rows past the new end and would report that as the
        // user's choice; the rows are set from the ids right after.
        const juce::ScopedValueSetter<bool> moving (movingSelection, true);
        mList->updateContent();
        selectRowsOfSelectedIds();
    }

    mList->repaint();
}

void GUIHistoryList::selectRowsOfSelectedIds()
{
    juce::SparseSet<int> rows;
    std::vector<juce::int64> stillListed;

    const auto positions = store.getPositions (filter, selectedIds);

    for (auto id : selectedIds)
    {
        if (const auto found = positions.find (id); found != positions.end())
        {
            rows.addRange ({ found->second, found->second + 1 });
            stillListed.push_back (id);
        }
    }

    mList->setSelectedRows (rows, juce::dontSendNotification);

    if (stillListed != selectedIds)
    {
        selectedIds = stillListed;

        if (onSelectionChanged)
            onSelectionChanged();
    }
}

const Snapshot* GUIHistoryList::getRow (int row)
{
    if (row < 0 || row >= numRows)
        return nullptr;

    const int page = row / pageSize;
    auto found = pages.find (page);

    if (found == pages.end())
    {
        if ((int) pages.size() >= maxPagesKept)
            pages.clear();

        found = pages.emplace (page, store.getPage (filter, page * pageSize, pageSize)).first;
    }

    const int index = row % pageSize;
    return index < (int) found->second.size() ? &found->second[(size_t) index] : nullptr;
}

std::vector<Snapshot> GUIHistoryList::getSelectedSnapshots()
{
    std::vector<Snapshot> selected;

    // Newest first: the last ones are the oldest.
    for (auto id = selectedIds.rbegin(); id != selectedIds.rend() && selected.size() < 2; ++id)
        if (auto snapshot = store.get (*id))
            selected.push_back (std::move (*snapshot));

    return selected;
}

void GUIHistoryList::resized() { mList->setBounds (getLocalBounds()); }

void GUIHistoryList::selectedRowsChanged (int)
{
    if (movingSelection)
        return;

    const auto rows = mList->getSelectedRows();
    selectedIds.clear();

    for (int i = 0; i < rows.size(); ++i)
        if (const auto* snapshot = getRow (rows[i]))
            selectedIds.push_back (snapshot->id);

    if (onSelectionChanged)
        onSelectionChanged();
}

void GUIHistoryList::paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected)
{
    const auto* snapshot = getRow (row);

    if (snapshot == nullptr)
        return;

    g.fillAll (selected ? Look::cursor.withAlpha (0.35f) : (row % 2 == 0 ? Look::background : Look::panel));
    auto area = juce::Rectangle<int> (0, 0, width, height).reduced (6, 3);
    const auto previewArea = area.removeFromRight (132);

    if (snapshot->isReadable())
    {
        paintPreview (g, *snapshot, previewArea.toFloat());
    }
    else
    {
        g.setColour (Look::changed);
        g.setFont (juce::Font (13.0f));
        g.drawText ("Unreadable", previewArea, juce::Justification::centred);
    }

    auto top = area.removeFromTop (height / 2 - 2);
    g.setColour (snapshot->starred ? Look::note : Look::dimText.withAlpha (0.4f));
    g.setFont (juce::Font (15.0f));
    g.drawText (star, top.removeFromLeft (18), juce::Justification::centredLeft);
    g.setColour (Look::dimText);
    g.setFont (juce::Font (12.0f));
    g.drawText ("#" + juce::String (snapshot->id) + "  " + snapshot->getTimeText(), top,
                juce::Justification::centredLeft);

    g.setColour (Look::text);
    g.setFont (juce::Font (14.0f));
    g.drawText (snapshot->cause
                    + (snapshot->name.isNotEmpty()
                           ? juce::String (juce::CharPointer_UTF8 (" \xe2\x80\x94 ")) + snapshot->name
                           : ""),
                area.withTrimmedLeft (18), juce::Justification::centredLeft, true);
}

void GUIHistoryList::paintPreview (juce::Graphics& g, const Snapshot& snapshot, juce::Rectangle<float> area)
{
    const float stripHeight = area.getHeight() / (float) numSequences;
    const float stepWidth = area.getWidth() / (float) maxSequenceSteps;

    g.setColour (Look::panel.darker (0.3f));
    g.fillRect (area);

    for (int index = 0; index < numSequences; ++index)
    {
        const auto& steps = snapshot.sequences[(size_t) index];
        const float y = area.getY() + stripHeight * (float) index;

        for (int step = 0; step < getSequenceLength (steps); ++step)
        {
            const bool rest = steps[(size_t) step] == restStep;
            g.setColour (rest ? Look::dimText.withAlpha (0.3f) : Look::note);
            g.fillRect (area.getX() + stepWidth * (float) step, y + 0.5f, juce::jmax (1.0f, stepWidth - 0.5f),
                        stripHeight - 1.0f);
        }
    }
}

} // namespace tarnovelle
