#pragma once
// Told when what the folder tree and the grid show changes, for another window that shows the
// same records (all calls on the GUI thread, from inside the result views' operations).
namespace dvo::app {

class IResultViewsWatcher {
public:
    virtual ~IResultViewsWatcher() = default;
    // The nodes are about to be removed; at a search start, before the engine drops its records.
    virtual void TreeCleared() = 0;
    // A search's tree has been built (it may be empty).
    virtual void TreeBuilt() = 0;
    // The grid has listed a folder (ShownNode), perhaps the same one again.
    virtual void ShownFolderChanged() = 0;
    // A file operation is about to run: until it has ended, the engine may change records on
    // a thread of its own (a copy or move behind the progress dialog), so none may be read.
    virtual void FileOperationStarted() {}
    // A file operation on the grid's marked rows has ended; nodes may have gone.
    virtual void FileOperationEnded() = 0;
    // Every record's size changed (sizes are counted another way now); the nodes stay.
    virtual void SizesChanged() {}
};

} // namespace dvo::app
