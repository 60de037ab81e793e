// GBK text: this file is compiled with -fexec-charset=GBK.
#include "console/ReadPropertyPage.h"

#include <cstdio>
#include <vector>

#include "console/RtuToolApp.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/WinApp.h"
#include "link/HexEcho.h"
#include "resources/resource.h"
#include "tables/SignalTables.h"
#include "unit/ExceptionText.h"
#include "unit/Readings.h"

namespace {

struct Column {
    const char* heading;
    int width;  // pixels
};
constexpr Column kColumns[] = {
    {"寄存器", 50},
    {"信号名称", 120},
    {"当前值", 50},
    {"单位", 120},
};

}  // namespace

CReadPropertyPage::CReadPropertyPage() : CPropertyPage(IDD_READ) {}

CReadPropertyPage::~CReadPropertyPage() = default;

void CReadPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST, m_List);
    DDX_Control(pDX, IDC_SENDEDIT, m_SendEdit);
    DDX_Control(pDX, IDC_RECVEDIT, m_RecvEdit);
}

BOOL CReadPropertyPage::OnCommand(int nID) {
    switch (nID) {
        case IDC_READ01DI:
            OnRead01DI();
            return TRUE;
        case IDC_READ03AI:
            OnRead03AI();
            return TRUE;
        case IDC_READ03DI:
            OnRead03DI();
            return TRUE;
        default:
            return CPropertyPage::OnCommand(nID);
    }
}

BOOL CReadPropertyPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    int col = 0;
    for (const Column& c : kColumns) {
        m_List.InsertColumn(col, c.heading, LVCFMT_LEFT, c.width, col);
        ++col;
    }
    m_List.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT | LVS_EX_FULLROWSELECT);
    return TRUE;
}

void CReadPropertyPage::ShowSendFrame() {
    m_SendEdit.SetWindowText(HexEchoSendText(theComm.m_SendBuf, theComm.m_nSendLen).c_str());
}

void CReadPropertyPage::ShowRecvFrame() {
    m_RecvEdit.SetWindowText(HexEchoRecvText(theComm.m_RecvBuf, theComm.m_nRecvLen).c_str());
}

void CReadPropertyPage::WhileWaiting() {
    AfxKeepAlive();
}

void CReadPropertyPage::OnRead01DI() {
    Read(ReadCommand::Coils01, ExchangeVariant::Read);
}

void CReadPropertyPage::OnRead03DI() {
    Read(ReadCommand::Register03, ExchangeVariant::Read);
}

void CReadPropertyPage::OnRead03AI() {
    // The quiet variant: the receive box keeps the last status reply.
    Read(ReadCommand::Analog03, ExchangeVariant::QuietRead);
}

void CReadPropertyPage::Read(ReadCommand command, ExchangeVariant variant) {
    const ReadRequest request = RequestOf(command);
    const ExchangeResult result =
        RunExchange(theComm, variant, request.function, request.address, request.quantity, this);
    switch (result.outcome) {
        case ExchangeOutcome::Reply:
            FillList(command, result.replyLength);
            return;
        case ExchangeOutcome::Exception:
            // The unit refused the read: its exception code carries no data,
            // so the list keeps what the last good reply showed.
            AfxMessageBox(ExceptionMessage("RTU异常应答!", result.exceptionCode).c_str(),
                          MB_ICONSTOP);
            return;
        case ExchangeOutcome::Timeout:
            AfxMessageBox("RTU无应答!", MB_ICONSTOP);
            return;
    }
}

void CReadPropertyPage::FillList(ReadCommand command, int replyLength) {
    const bool analog = command == ReadCommand::Analog03;
    const SignalRecord* table = analog ? AnalogSignals : DigitalSignals;
    const int records = analog ? nAnalogSignals : nDigitalSignals;
    const std::vector<DecodedRow> rows =
        DecodeReadReply(command, theComm.m_RecvBuf, replyLength, records);

    m_List.DeleteAllItems();
    for (const DecodedRow& row : rows) {
        // Column 0 is the row's position, not the register address nor the
        // record's number: 03读AI reads registers 100..108 as rows 000..008.
        char number[16];
        std::snprintf(number, sizeof number, "%03d", row.index);
        const int item = m_List.InsertItem(row.index, number);
        const SignalRecord& record = table[row.index];
        m_List.SetItemText(item, 1, record.szName);
        m_List.SetItemText(item, 2, row.value.c_str());
        m_List.SetItemText(item, 3, record.szUnit);
    }
}
