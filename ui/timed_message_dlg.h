// CTimedMessageDlg: a message with one OK button that closes itself after a given
// time (template 137).
#pragma once

#include <string>

#include "framework/dialog.h"

constexpr UINT_PTR IDT_TIMED_MESSAGE = 7862;

class CTimedMessageDlg : public CDialog {
public:
    // messageID 0 shows m_sMessage; timeout in milliseconds.
    CTimedMessageDlg(CDialog *parent, UINT messageID, UINT timeout);

    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

    UINT m_nMessageID;
    UINT m_nTimeout;
    std::string m_sMessage;
};
