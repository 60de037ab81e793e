// The second tab, "读数据": fetches the monitoring unit's status bits and its
// analog measurements and shows them as a table of named values.
//
// Each button sends one fixed read request through theComm and, on the reply
// to it, fills the list with one row per signal: row number, name, value, unit
// or legend. Names, units and legends come from the signal tables by row
// position. The send and receive boxes show the request and the reply as hex
// text while the exchange runs.
//
//   01读DI  coils 0..14 (function 01)             status bits, DigitalSignals
//   03读DI  holding register 0 (function 03)      the same bits as one word
//   03读AI  holding registers 100..108 (fn 03)    measurements, AnalogSignals;
//           leaves the receive box alone
#pragma once

#include <cstdint>

#include "console/windowing/Edit.h"
#include "console/windowing/ListCtrl.h"
#include "console/windowing/PropertyPage.h"
#include "link/Exchange.h"
#include "unit/ReadDecode.h"

class CReadPropertyPage : public CPropertyPage, public IFrameEcho {
public:
    CReadPropertyPage();
    ~CReadPropertyPage() override;

    // Default initialisation, then the list's four columns and its style.
    BOOL OnInitDialog() override;

    // The hex echo of theComm's send buffer into the send box, and of its
    // receive buffer into the receive box; each replaces the whole text.
    void ShowSendFrame() override;
    void ShowRecvFrame() override;
    // The window keeps answering while the exchange waits (AfxKeepAlive).
    void WhileWaiting() override;

    CListCtrl m_List;  // 1010: the decoded signals
    CEdit m_SendEdit;  // 1012: the request, hex
    CEdit m_RecvEdit;  // 1011: the bytes received, hex, ten a line

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(int nID) override;

    void OnRead01DI();
    void OnRead03DI();
    void OnRead03AI();

private:
    // One read: the exchange, then the list or the message that says why not.
    void Read(ReadCommand command, ExchangeVariant variant);
    // Replaces the list's rows by those of the reply at the start of the
    // receive buffer.
    void FillList(ReadCommand command, int replyLength);
};
