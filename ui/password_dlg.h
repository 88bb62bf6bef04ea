// CEnterPasswordDlg: asks for the password before a cancel or before the settings
// (template 136). It only collects the text; the caller compares it.
#pragma once

#include <string>

#include "framework/dialog.h"

constexpr UINT IDD_ENTER_PASSWORD = 136;

class CEnterPasswordDlg : public CDialog {
public:
    CEnterPasswordDlg(BOOL bCancelMode, CDialog *parent);

    std::string m_sPassword;
    BOOL m_bCancelMode;
};
