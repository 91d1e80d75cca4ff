// How long link operations report their progress without knowing the user interface.
#pragma once

// The owner (a dialog and one of its progress bars) implements this: the link sets a
// position and the owner then shows it and refreshes its data from its controls.
class CProgressSink
{
public:
    virtual ~CProgressSink();
    // nPos is usually 0..100; a value above 100 is passed on as computed and shows as full.
    // May throw to stop the run (kelvora-cli on Ctrl-C): the link lets it pass; the owner closes the link.
    virtual void SetProgress(int nPos) = 0;
};
