#pragma once
// The launcher's main background window: the picture the launcher is drawn on,
// with the foreground window laid over it and the root riding along.
#include <memory>

#include "launcher/MainBackgroundDialog.h"

class CNewTalmoMainForegroundDialog;
class CResourceManager;

class CNewTalmoMainBackgroundDialog : public CMainBackgroundDialog {
public:
    // The manager must outlive the window; the foreground drives it.
    explicit CNewTalmoMainBackgroundDialog(CResourceManager& resources);
    ~CNewTalmoMainBackgroundDialog() override;

    CDialogBase* satellite = nullptr;  // the root window, not owned

    // Creates the foreground once, then makes the whole group visible.
    void ShowForeground();
    BOOL OnInitDialog() override;
    void MoveBy(int dx, int dy) override;
    void AlignChildren() override;

protected:
    // Keeps what has arrived and stops the downloads.
    void OnClosing() override;

private:
    CResourceManager& resources_;
    std::unique_ptr<CNewTalmoMainForegroundDialog> foregroundWindow_;  // foreground points at it
};
