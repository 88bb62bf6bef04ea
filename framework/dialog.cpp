// The backend-independent half of CDialog: defaults of the handlers and data exchange.
#include "framework/dialog.h"

#include <cstdlib>

#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"

CDialog::CDialog(UINT templateId, CDialog *parent) : m_nTemplateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() = default;

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(UINT id, UINT) {
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    if (id == ID_HELP) {
        // The application decides whether help may open now.
        if (CWinApp *app = AfxGetApp())
            app->WinHelp(kHelpContextBase + m_nTemplateId, HELP_CONTEXT);
        return TRUE;
    }
    return FALSE;
}

BOOL CDialog::OnNotify(WPARAM, LPARAM, LRESULT *) {
    return FALSE;
}

namespace {
DWORD g_boxTimeLimit = 0;
} // namespace

void SetMessageBoxTimeLimit(DWORD ms) {
    g_boxTimeLimit = ms;
}

DWORD MessageBoxTimeLimit() {
    return g_boxTimeLimit;
}

int UnansweredResult(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDIGNORE;
    default: // OK/Cancel, Yes/No/Cancel, Retry/Cancel, Cancel/Try/Continue
        return IDCANCEL;
    }
}

void AfxQuitHelp() {
    // Closing is never refused, so the application's own gate is bypassed.
    if (CWinApp *app = AfxGetApp())
        app->CWinApp::WinHelp(0, HELP_QUIT);
}

void CDialog::OnTimer(UINT_PTR) {}
void CDialog::OnDestroy() {}
BOOL CDialog::OnHelpInfo() {
    // F1 asks for the same topic as the dialog's Help button.
    return OnCommand(ID_HELP, 0);
}
void CDialog::OnEndSession(BOOL, LPARAM) {}
void CDialog::DoDataExchange(CDataExchange *) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDataExchange::Fail() {
    m_bFailed = TRUE;
    if (m_idLastControl)
        m_pDlgWnd->GotoDlgCtrl(m_idLastControl);
}

void DDX_Text(CDataExchange *pDX, int id, std::string &value) {
    pDX->m_idLastControl = id;
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->GetDlgItemText(id);
    else
        pDX->m_pDlgWnd->SetDlgItemText(id, value);
}

void DDX_Text(CDataExchange *pDX, int id, UINT &value) {
    pDX->m_idLastControl = id;
    if (!pDX->m_bSaveAndValidate) {
        pDX->m_pDlgWnd->SetDlgItemText(id, StrFormat("%u", value));
        return;
    }
    if (pDX->m_bFailed)
        return;
    std::string text = pDX->m_pDlgWnd->GetDlgItemText(id);
    size_t b = text.find_first_not_of(" \t");
    size_t e = text.find_last_not_of(" \t");
    std::string digits = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
    bool ok = !digits.empty() && digits.size() <= 9 &&
              digits.find_first_not_of("0123456789") == std::string::npos;
    if (!ok) {
        AfxMessageBox(LoadStr(IDS_PARSE_UINT), MB_ICONEXCLAMATION);
        pDX->Fail();
        return;
    }
    value = UINT(strtoul(digits.c_str(), nullptr, 10));
}

void DDX_Check(CDataExchange *pDX, int id, BOOL &value) {
    pDX->m_idLastControl = id;
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->IsDlgButtonChecked(id) ? TRUE : FALSE;
    else
        pDX->m_pDlgWnd->CheckDlgButton(id, value ? 1 : 0);
}

void DDV_MaxChars(CDataExchange *pDX, const std::string &value, int maxChars) {
    if (!pDX->m_bSaveAndValidate) {
        pDX->m_pDlgWnd->LimitText(pDX->m_idLastControl, maxChars);
        return;
    }
    if (!pDX->m_bFailed && int(value.size()) > maxChars) {
        AfxMessageBox(FormatText(LoadStr(IDS_PARSE_STRING_SIZE), StrFormat("%d", maxChars)),
                      MB_ICONEXCLAMATION);
        pDX->Fail();
    }
}

void DDV_MinMaxUInt(CDataExchange *pDX, UINT value, UINT minVal, UINT maxVal) {
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed)
        return;
    if (value < minVal || value > maxVal) {
        AfxMessageBox(FormatText(LoadStr(IDS_PARSE_INT_RANGE), StrFormat("%u", minVal),
                                 StrFormat("%u", maxVal)),
                      MB_ICONEXCLAMATION);
        pDX->Fail();
    }
}
