#include "console/windowing/Ddx.h"

#include <string>
#include <vector>

#include "console/windowing/Edit.h"
#include "console/windowing/ListCtrl.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/NumberParse.h"
#include "console/windowing/PropertyPage.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

// The edit box of the entry, or null when the exchange has already failed or
// the page lacks the control.
CWnd* EditOf(CDataExchange* pDX, int nIDC) {
    if (pDX->Failed()) {
        return nullptr;
    }
    return pDX->PrepareEditCtrl(nIDC);
}

// Loading leaves a box alone when it already shows the text, so that its
// caret and selection stay where they are.
void LoadBox(CWnd* box, const std::string& text) {
    if (box->GetWindowText() != text) {
        box->SetWindowText(text.c_str());
    }
}

// String nIDPrompt with %1 and %2 replaced, in one pass; UTF-8.
std::string FormatString2(int nIDPrompt, const std::string& s1, const std::string& s2) {
    const std::string pattern = Utf16ToUtf8(FindResourceString(nIDPrompt));
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? s1 : s2;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

void FailRange(CDataExchange* pDX, int nIDPrompt, const std::string& minText,
               const std::string& maxText) {
    AfxMessageBoxUtf8(FormatString2(nIDPrompt, minText, maxText), MB_ICONEXCLAMATION);
    pDX->Fail();
}

bool Checking(const CDataExchange* pDX) {
    return pDX->m_bSaveAndValidate && !pDX->Failed();
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CEdit& rControl) {
    if (!pDX->Failed() && rControl.GetSafeHwnd() == nullptr) {
        rControl.Attach(pDX->PrepareCtrl(nIDC));
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CListCtrl& rControl) {
    if (!pDX->Failed() && rControl.GetSafeHwnd() == nullptr) {
        rControl.Attach(pDX->PrepareCtrl(nIDC));
    }
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
    if (pDX->Failed() || pDX->PrepareCtrl(nIDC) == nullptr) {
        return;
    }
    const std::vector<CWnd*> buttons = pDX->m_pDlgWnd->GetRadioGroup(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i]->GetCheck() == BST_CHECKED) {
                value = static_cast<int>(i);
                break;
            }
        }
        return;
    }
    // A value outside the group clears them all.
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->SetCheck(static_cast<int>(i) == value ? BST_CHECKED : BST_UNCHECKED);
    }
}

namespace {

// One entry box and one field: loading writes the field's text into the box;
// saving parses the box and, when the text breaks the rules, shows the parse
// message and stops the exchange with the field unchanged.
template <typename T, typename Parse>
void ExchangeText(CDataExchange* pDX, int nIDC, T& value, const std::string& loadText, Parse parse,
                  UINT nIDPrompt) {
    CWnd* box = EditOf(pDX, nIDC);
    if (box == nullptr) {
        return;
    }
    if (!pDX->m_bSaveAndValidate) {
        LoadBox(box, loadText);
        return;
    }
    const auto parsed = parse(box->GetWindowText().c_str());
    if (!parsed) {
        AfxMessageBox(nIDPrompt, MB_ICONEXCLAMATION);
        pDX->Fail();
        return;
    }
    value = *parsed;
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
    ExchangeText(
        pDX, nIDC, value, std::to_string(value),
        [](const char* text) { return ParseIntText(text); }, IDS_PARSE_INT);
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
    ExchangeText(
        pDX, nIDC, value, std::to_string(value),
        [](const char* text) { return ParseDWordText(text); }, IDS_PARSE_UINT);
}

void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
    ExchangeText(
        pDX, nIDC, value, FormatFloatText(value),
        [](const char* text) { return ParseFloatText(text); }, IDS_PARSE_REAL);
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_INT_RANGE, std::to_string(minVal), std::to_string(maxVal));
    }
}

void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_INT_RANGE, std::to_string(minVal), std::to_string(maxVal));
    }
}

void DDV_MinMaxFloat(CDataExchange* pDX, float const& value, float minVal, float maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_REAL_RANGE, FormatFloatText(minVal), FormatFloatText(maxVal));
    }
}
