#include "resources/DialogTemplate.h"

#include <iterator>

#include "resources/resource.h"

namespace {

constexpr std::uint32_t kEditStyle = kBorder | kAutoHScroll | kTabStop;
constexpr const char16_t* kFixedsys = u"Fixedsys";
constexpr int kFixedsysPoints = 12;

// Serial settings: baud group, port group, address and reply wait, the button
// that applies them, then the frames and texts.
constexpr DlgControl kCom[] = {
    {IDC_BAUD600, CtlKind::AutoRadio, u"600", 16, 20, 23, 10, kGroup | kTabStop},
    {IDC_BAUD1200, CtlKind::AutoRadio, u"1200", 49, 20, 31, 10, 0},
    {IDC_BAUD2400, CtlKind::AutoRadio, u"2400", 89, 20, 27, 8, 0},
    {IDC_BAUD4800, CtlKind::AutoRadio, u"4800", 127, 20, 29, 9, 0},
    {IDC_BAUD9600, CtlKind::AutoRadio, u"9600", 169, 20, 27, 9, 0},
    {IDC_BAUD19200, CtlKind::AutoRadio, u"19200", 209, 20, 31, 8, 0},
    {IDC_BAUD38400, CtlKind::AutoRadio, u"38400", 254, 20, 32, 8, 0},
    {IDC_COM1, CtlKind::AutoRadio, u"COM1", 14, 47, 34, 9, kGroup | kTabStop},
    {IDC_COM2, CtlKind::AutoRadio, u"COM2", 49, 46, 32, 8, 0},
    {IDC_ADDR, CtlKind::Edit, u"", 54, 64, 34, 12, kEditStyle | kGroup},
    {IDC_WAITTIME, CtlKind::Edit, u"", 54, 81, 34, 12, kEditStyle | kGroup},
    {IDC_SET, CtlKind::PushButton, u"设  置", 26, 115, 50, 14, kTabStop},
    {IDC_STATIC, CtlKind::GroupBox, u"串口", 7, 37, 92, 24, 0},
    {IDC_STATIC, CtlKind::GroupBox, u"波特率", 8, 8, 285, 28, 0},
    {IDC_STATIC, CtlKind::Static, u"子站地址:", 7, 65, 41, 11, 0},
    {IDC_STATIC, CtlKind::Static, u"帧 格 式：采用MODBUS规约RTU方式", 114, 42, 134, 9, 0},
    {IDC_STATIC, CtlKind::Static, u"字符格式：8位数据位，1位停止位，无校验", 114, 54, 157, 9, 0},
    {IDC_STATIC, CtlKind::Static, u"等待时间:", 7, 83, 41, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"ms", 90, 85, 16, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"请先点击", 34, 105, 36, 9, 0},
    {IDC_STATIC, CtlKind::Static, u"按键设置串口和地址", 15, 132, 80, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"然后才能通讯调试", 20, 143, 70, 10, 0},
};

// Read data: three read buttons, the signal list, the send and receive boxes.
constexpr DlgControl kRead[] = {
    {IDC_READ01DI, CtlKind::PushButton, u"01读DI", 174, 6, 31, 14, kTabStop},
    {IDC_READ03DI, CtlKind::PushButton, u"03读DI", 222, 6, 31, 14, kTabStop},
    {IDC_READ03AI, CtlKind::PushButton, u"03读AI", 270, 6, 31, 14, kTabStop},
    {IDC_LIST, CtlKind::ListView, u"", 7, 6, 158, 171, kReport | kBorder | kTabStop},
    {IDC_SENDEDIT, CtlKind::Edit, u"", 169, 34, 132, 13, kEditStyle | kReadOnly},
    {IDC_RECVEDIT, CtlKind::Edit, u"", 169, 67, 132, 110, kEditStyle | kReadOnly | kMultiLine},
    {IDC_STATIC, CtlKind::Static, u"发送", 169, 24, 30, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"接收", 169, 50, 30, 8, 0},
};

// Control: system commands, the hex boxes, module number and setpoints, the
// module commands, with their frames and labels.
constexpr DlgControl kCtrl[] = {
    {IDC_MANUAL, CtlKind::PushButton, u"手 动", 14, 18, 30, 14, kTabStop},
    {IDC_AUTO, CtlKind::PushButton, u"自 动", 54, 18, 30, 14, kTabStop},
    {IDC_FLOAT, CtlKind::PushButton, u"浮 充", 96, 18, 30, 14, kTabStop},
    {IDC_EQUALIZE, CtlKind::PushButton, u"均 充", 137, 18, 30, 14, kTabStop},
    {IDC_SENDEDIT, CtlKind::Edit, u"", 7, 143, 286, 13, kEditStyle | kReadOnly},
    {IDC_RECVEDIT, CtlKind::Edit, u"", 7, 169, 286, 16, kEditStyle | kReadOnly | kMultiLine},
    {IDC_STATIC, CtlKind::Static, u"发送", 8, 132, 30, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"接收", 7, 158, 30, 8, 0},
    {IDC_MODULE, CtlKind::Edit, u"", 65, 67, 35, 12, kEditStyle},
    {IDC_STATIC, CtlKind::Static, u"被调模块序号", 12, 68, 50, 10, 0},
    {IDC_VOLTAGE, CtlKind::Edit, u"", 54, 94, 34, 12, kEditStyle},
    {IDC_CURRENT, CtlKind::Edit, u"", 54, 111, 34, 12, kEditStyle},
    {IDC_STATIC, CtlKind::GroupBox, u"系统遥控", 7, 7, 286, 30, 0},
    {IDC_STATIC, CtlKind::GroupBox, u"模块遥控/遥调", 7, 41, 286, 87, 0},
    {IDC_STATIC, CtlKind::Static, u"注意：执行模块遥控操作时首先要设置系统遥控为手动。", 12, 52,
     201, 10, 0},
    {IDC_SETCURRENT, CtlKind::PushButton, u"限流设置", 101, 109, 40, 14, kTabStop},
    {IDC_SETVOLTAGE, CtlKind::PushButton, u"调压设置", 101, 93, 40, 14, kTabStop},
    {IDC_MODULEOFF, CtlKind::PushButton, u"关机", 233, 109, 40, 14, kTabStop},
    {IDC_MODULEON, CtlKind::PushButton, u"开机", 177, 109, 40, 14, kTabStop},
    {IDC_STATIC, CtlKind::Static, u"调整电流", 14, 113, 38, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"调整电压", 14, 96, 38, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"V", 92, 97, 8, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"%", 92, 113, 8, 8, 0},
    {IDC_STATIC, CtlKind::GroupBox, u"遥调设置", 10, 82, 151, 44, 0},
    {IDC_STATIC, CtlKind::GroupBox, u"遥控设置", 171, 82, 120, 44, 0},
};

// Version information: the emblem (260 x 124 pixels) and seven text lines.
// The maker lines carry the program's own name or nothing.
constexpr DlgControl kAbout[] = {
    {IDC_STATIC, CtlKind::Picture, u"", 80, 13, 260, 124, 0, IDB_EMBLEM},
    {IDC_STATIC, CtlKind::Static, u"HCU-K40监控MODBUS规约调试软件", 31, 99, 142, 9, 0},
    {IDC_STATIC, CtlKind::Static, u"软件版本：V1.0", 31, 110, 166, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"k40tool", 31, 121, 175, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"", 31, 132, 96, 10, 0},
    {IDC_STATIC, CtlKind::Static, u"", 31, 143, 97, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"", 31, 152, 101, 8, 0},
    {IDC_STATIC, CtlKind::Static, u"", 31, 162, 166, 8, 0},
};

constexpr DlgTemplate kTemplates[] = {
    {IDD_COM, u"串口设置", 300, 181, kFixedsys, kFixedsysPoints, kCom, std::size(kCom)},
    {IDD_READ, u"读数据", 309, 185, kFixedsys, kFixedsysPoints, kRead, std::size(kRead)},
    {IDD_CTRL, u"控制", 300, 193, kFixedsys, kFixedsysPoints, kCtrl, std::size(kCtrl)},
    {IDD_ABOUT, u"版本信息", 300, 181, kFixedsys, kFixedsysPoints, kAbout, std::size(kAbout)},
};

}  // namespace

const DlgTemplate* FindDialogTemplate(int id) {
    for (const DlgTemplate& t : kTemplates) {
        if (t.id == id) {
            return &t;
        }
    }
    return nullptr;
}
