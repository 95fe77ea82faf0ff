#pragma once
// The launcher's main background window: the picture the launcher is drawn on,
// with the foreground window laid over it and the root riding along.
#include "launcher/MainBackgroundDialog.h"

class CNewTalmoMainBackgroundDialog : public CMainBackgroundDialog {
public:
    CNewTalmoMainBackgroundDialog();
    ~CNewTalmoMainBackgroundDialog() override;

    CDialogBase* satellite = nullptr;  // the root window, not owned

    // Creates the foreground once, then makes the whole group visible.
    void ShowForeground();
    BOOL OnInitDialog() override;
    void MoveBy(int dx, int dy) override;
    void AlignChildren() override;
};
