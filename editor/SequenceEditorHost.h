#pragma once

namespace tarnovelle
{

/** Where the action hub opens the sequence editor: the interface gives it a window, tests
    count the requests. The hub holds the editor's model; the host only shows it.
*/
class SequenceEditorHost
{
public:
    virtual ~SequenceEditorHost() = default;

    /** Opens the editor window, or brings it to the front when it is already open. */
    virtual void openSequenceEditor() = 0;

    /** True while the editor is on screen: it then follows what other operations do to the
        instrument at once.
    */
    virtual bool isSequenceEditorOpen() const { return false; }
};

} // namespace tarnovelle
