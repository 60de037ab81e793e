#include "console/windowing/Ddx.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QSet>
#include <vector>

#include "console/windowing/Edit.h"
#include "console/windowing/GbkText.h"
#include "console/windowing/ListCtrl.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/NumberParse.h"
#include "console/windowing/PropertyPage.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

// The edit box of the entry, or null when the exchange has already failed or
// the page lacks the control.
QWidget* EditOf(CDataExchange* pDX, int nIDC) {
    if (pDX->Failed()) {
        return nullptr;
    }
    return pDX->PrepareEditCtrl(nIDC);
}

// What the box holds, as the GBK bytes the number rules read.
QByteArray BoxBytes(QWidget* box) {
    CEdit edit;
    edit.Attach(box);
    return ToGbk(edit.GetWindowText());
}

// Loading leaves a box alone when it already shows the text, so that its
// caret and selection stay where they are.
void LoadBox(QWidget* box, const QString& text) {
    CEdit edit;
    edit.Attach(box);
    if (edit.GetWindowText() != text) {
        edit.SetWindowText(text);
    }
}

// String nIDPrompt with %1 and %2 replaced, in one pass.
QString FormatString2(int nIDPrompt, const QString& s1, const QString& s2) {
    const QString pattern = QString::fromUtf16(FindResourceString(nIDPrompt));
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == u'1' || pattern[i + 1] == u'2')) {
            out += pattern[i + 1] == u'1' ? s1 : s2;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

void FailRange(CDataExchange* pDX, int nIDPrompt, const QString& minText, const QString& maxText) {
    AfxMessageBox(FormatString2(nIDPrompt, minText, maxText), MB_ICONEXCLAMATION);
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
    const std::vector<QAbstractButton*> buttons = pDX->m_pDlgWnd->GetRadioGroup(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i]->isChecked()) {
                value = static_cast<int>(i);
                break;
            }
        }
        return;
    }
    // An exclusive group cannot be left without a checked button; a value
    // outside the group must clear them all.
    QSet<QButtonGroup*> groups;
    for (QAbstractButton* b : buttons) {
        if (b->group() != nullptr && b->group()->exclusive()) {
            groups.insert(b->group());
            b->group()->setExclusive(false);
        }
    }
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setChecked(static_cast<int>(i) == value);
    }
    for (QButtonGroup* g : groups) {
        g->setExclusive(true);
    }
}

namespace {

// One entry box and one field: loading writes the field's text into the box;
// saving parses the box and, when the text breaks the rules, shows the parse
// message and stops the exchange with the field unchanged.
template <typename T, typename Parse>
void ExchangeText(CDataExchange* pDX, int nIDC, T& value, const QString& loadText, Parse parse,
                  UINT nIDPrompt) {
    QWidget* box = EditOf(pDX, nIDC);
    if (box == nullptr) {
        return;
    }
    if (!pDX->m_bSaveAndValidate) {
        LoadBox(box, loadText);
        return;
    }
    const auto parsed = parse(BoxBytes(box).constData());
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
        pDX, nIDC, value, QString::number(value),
        [](const char* text) { return ParseIntText(text); }, IDS_PARSE_INT);
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
    ExchangeText(
        pDX, nIDC, value, QString::number(value),
        [](const char* text) { return ParseDWordText(text); }, IDS_PARSE_UINT);
}

void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
    ExchangeText(
        pDX, nIDC, value, QString::fromStdString(FormatFloatText(value)),
        [](const char* text) { return ParseFloatText(text); }, IDS_PARSE_REAL);
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_INT_RANGE, QString::number(minVal), QString::number(maxVal));
    }
}

void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_INT_RANGE, QString::number(minVal), QString::number(maxVal));
    }
}

void DDV_MinMaxFloat(CDataExchange* pDX, float const& value, float minVal, float maxVal) {
    if (Checking(pDX) && (value < minVal || value > maxVal)) {
        FailRange(pDX, IDS_PARSE_REAL_RANGE, QString::fromStdString(FormatFloatText(minVal)),
                  QString::fromStdString(FormatFloatText(maxVal)));
    }
}
