// k40drive: drives k40tool.exe's window from outside its process by window
// messages, for the tests under Wine, the Windows demo and the benchmark.
//   k40drive [--start EXE] [--timeout MS] STEP...
// It waits for the sheet (a top-level dialog with the application title and a
// tab control), runs the steps in order and prints one JSON line (UTF-8) each:
//   page:N       select page N; leaving a page validates it, and a failed
//                validation keeps the page and shows a box ("current", "box")
//   click:ID     press button ID of the current page (or of the sheet's row)
//   busyclick:ID press button ID of the current page and, while its handler
//                runs (an exchange waiting), check that the sheet answers
//                messages and press it again, which must do nothing
//   set:ID=TEXT  replace a control's text     text:ID   read it
//   check:ID     a radio button's state       list:ID   a report list's rows
//   box          wait for a message box, read caption and text, press OK
//   showbox      the same, leaving it up, drawn, and giving its rectangle
//   info         the sheet's rectangle, process id, working set, current page
//   close        press the exit button and wait for the program to end
// With --start the driver launches EXE itself, and the first line gives the
// milliseconds from the launch to the sheet being visible and to its first
// page showing. It stops at the first step that fails (exit status 1).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>

#include "base/win32/Wide.h"
#include "console/windowing/win32/BusyProperty.h"

namespace {

const wchar_t kTitle[] = L"K40-MODBUS规约调试软件";
const int kStaticText = 0xFFFF;  // the text of a message box
DWORD g_timeoutMs = 10000;

std::string Json(const std::wstring& w) {
    std::string out = "\"";
    for (const char c : Utf8(w.c_str())) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void Emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Polls cond every few milliseconds until it holds or the time-out passes.
bool Await(const std::function<bool()>& cond) {
    const ULONGLONG end = GetTickCount64() + g_timeoutMs;
    while (!cond()) {
        if (GetTickCount64() > end) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

// A message sent with a time-out: the target may be busy in an exchange.
LRESULT Send(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0, UINT ms = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL, ms ? ms : g_timeoutMs, &result);
    return LRESULT(result);
}

std::wstring TextOf(HWND h) {
    std::wstring text(size_t(Send(h, WM_GETTEXTLENGTH)) + 1, L'\0');
    text.resize(size_t(Send(h, WM_GETTEXT, text.size(), LPARAM(text.data()))));
    return text;
}

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    return name;
}

// Top-level dialogs of process pid with the application title: the sheet
// has a tab control, a message box does not.
HWND FindTitled(DWORD pid, bool sheet) {
    struct Query { DWORD pid; bool sheet; HWND found; } q{pid, sheet, nullptr};
    EnumWindows([](HWND h, LPARAM p) -> BOOL {
        auto& query = *reinterpret_cast<Query*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if ((query.pid && owner != query.pid) || ClassOf(h) != L"#32770" ||
            TextOf(h) != kTitle) {
            return TRUE;
        }
        const bool tabs = FindWindowExW(h, nullptr, WC_TABCONTROLW, nullptr) != nullptr;
        if (tabs == query.sheet) {
            query.found = h;
            return FALSE;
        }
        return TRUE;
    }, LPARAM(&q));
    return q.found;
}

struct Target {
    HWND sheet = nullptr;
    DWORD pid = 0;
};

HWND CurrentPage(const Target& t) { return HWND(Send(t.sheet, PSM_GETCURRENTPAGEHWND)); }
int CurrentIndex(const Target& t) {
    return int(Send(t.sheet, PSM_HWNDTOINDEX, WPARAM(CurrentPage(t))));
}
HWND Control(const Target& t, int id) {
    HWND h = GetDlgItem(CurrentPage(t), id);
    return h ? h : GetDlgItem(t.sheet, id);
}

bool Busy(const Target& t) { return GetPropW(t.sheet, kBusyProperty) != nullptr; }

// Whether the sheet's thread handles a message within ms.
bool Answers(const Target& t, UINT ms) {
    DWORD_PTR r;
    return SendMessageTimeoutW(t.sheet, WM_NULL, 0, 0, SMTO_NORMAL, ms, &r) != 0;
}

// Returns once the page's handler has ended (the sheet is no longer busy) or
// waits in a modal box. Answering messages says neither: the sheet answers
// them while an exchange waits.
bool Settle(const Target& t) {
    return Await([&] { return Answers(t, 100) && (!Busy(t) || FindTitled(t.pid, false)); });
}

std::string Head(const char* step) { return std::string("{\"step\":\"") + step + "\""; }

bool SelectPage(const Target& t, int index) {
    PostMessageW(t.sheet, PSM_SETCURSEL, WPARAM(index), 0);
    Await([&] { return CurrentIndex(t) == index || FindTitled(t.pid, false); });
    Settle(t);
    Emit(Head("page") + ",\"index\":" + std::to_string(index) + ",\"current\":" +
         std::to_string(CurrentIndex(t)) + ",\"box\":" +
         (FindTitled(t.pid, false) ? "true" : "false") + "}");
    return true;
}

// The click is sent with a short time-out, not waited for: its handler may
// run an exchange and then show a modal box, which waits for the next step.
bool Click(const Target& t, int id) {
    HWND b = Control(t, id);
    if (!b) {
        return false;
    }
    Send(b, BM_CLICK, 0, 0, 50);
    const bool settled = Settle(t);
    Emit(Head("click") + ",\"id\":" + std::to_string(id) + ",\"box\":" +
         (FindTitled(t.pid, false) ? "true" : "false") + "}");
    return settled;
}

// A handler that waits for a silent unit: the sheet is busy, yet answers
// within a second (far less than the wait), and the second press starts no
// other exchange (the unit's trace shows one request).
bool BusyClick(const Target& t, int id) {
    HWND b = Control(t, id);
    if (!b) {
        return false;
    }
    Send(b, BM_CLICK, 0, 0, 50);
    const bool busy = Await([&] { return Busy(t); });
    const bool answers = busy && Answers(t, 1000);
    Send(b, BM_CLICK, 0, 0, 1000);
    const bool settled = Settle(t);
    Emit(Head("busyclick") + ",\"id\":" + std::to_string(id) + ",\"busy\":" +
         (busy ? "true" : "false") + ",\"answers\":" + (answers ? "true" : "false") +
         ",\"box\":" + (FindTitled(t.pid, false) ? "true" : "false") + "}");
    return settled;
}

// Waits for a message box and reads it; press: OK, else it stays up, drawn
// (for a screenshot), and its rectangle is given.
bool ReadBox(const Target& t, bool press) {
    HWND box = nullptr;
    if (!Await([&] { return (box = FindTitled(t.pid, false)) && IsWindowVisible(box); })) {
        return false;
    }
    const std::wstring text = TextOf(GetDlgItem(box, kStaticText));
    std::string tail = "}";
    if (press) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     LPARAM(GetDlgItem(box, IDOK)));
        if (!Await([&] { return !IsWindow(box); }) || !Settle(t)) {
            return false;
        }
    } else {
        RedrawWindow(box, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Send(box, WM_NULL);
        RECT r{};
        GetWindowRect(box, &r);
        tail = ",\"rect\":[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
               std::to_string(r.right) + "," + std::to_string(r.bottom) + "]}";
    }
    Emit(Head(press ? "box" : "showbox") + ",\"caption\":" + Json(kTitle) + ",\"text\":" +
         Json(text) + tail);
    return true;
}

// LVM_GETITEMTEXTW writes into memory of the list's process: the item and
// its text buffer are made there and read back.
bool ReadList(const Target& t, int id) {
    HWND list = Control(t, id);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                              FALSE, t.pid);
    if (!list || !proc) {
        return false;
    }
    const size_t chars = 256;
    auto* remote = static_cast<char*>(VirtualAllocEx(proc, nullptr, sizeof(LVITEMW) +
                                      chars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    const int rows = int(Send(list, LVM_GETITEMCOUNT));
    const int cols = int(Send(HWND(Send(list, LVM_GETHEADER)), HDM_GETITEMCOUNT));
    std::string out = Head("list") + ",\"id\":" + std::to_string(id) + ",\"rows\":[";
    for (int r = 0; r < rows; ++r) {
        out += r ? ",[" : "[";
        for (int c = 0; c < cols; ++c) {
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof item);
            item.cchTextMax = int(chars);
            WriteProcessMemory(proc, remote, &item, sizeof item, nullptr);
            const int n = int(Send(list, LVM_GETITEMTEXTW, WPARAM(r), LPARAM(remote)));
            std::wstring text(size_t(n), L'\0');
            ReadProcessMemory(proc, item.pszText, text.data(), size_t(n) * sizeof(wchar_t),
                              nullptr);
            out += (c ? "," : "") + Json(text);
        }
        out += "]";
    }
    VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    Emit(out + "]}");
    return true;
}

bool Info(const Target& t) {
    RECT r{};
    GetWindowRect(t.sheet, &r);
    PROCESS_MEMORY_COUNTERS mem{};
    HANDLE proc = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, t.pid);
    const bool ok = proc && GetProcessMemoryInfo(proc, &mem, sizeof mem);
    if (proc) {
        CloseHandle(proc);
    }
    // The control with the keyboard focus, of the sheet's thread.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(t.sheet, nullptr), &gui);
    char line[256];
    std::snprintf(line, sizeof line, ",\"pid\":%lu,\"rect\":[%ld,%ld,%ld,%ld],\"visible\":%s,"
                  "\"page\":%d,\"focus\":%d,\"working_set\":%llu}", t.pid, r.left, r.top,
                  r.right, r.bottom, IsWindowVisible(t.sheet) ? "true" : "false", CurrentIndex(t),
                  gui.hwndFocus ? GetDlgCtrlID(gui.hwndFocus) : 0,
                  (unsigned long long)mem.WorkingSetSize);
    Emit(Head("info") + line);
    return ok;
}

bool Close(const Target& t) {
    HANDLE proc = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, t.pid);
    HWND exit = GetDlgItem(t.sheet, IDCANCEL);
    if (!proc || !exit) {
        return false;
    }
    Send(exit, BM_CLICK, 0, 0, 50);
    const bool ended = WaitForSingleObject(proc, g_timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(proc);
    Emit(Head("close") + ",\"exited\":" + (ended ? "true" : "false") + "}");
    return ended;
}

bool RunStep(const Target& t, const std::wstring& step) {
    const size_t colon = step.find(L':');
    const std::wstring name = step.substr(0, colon);
    const std::wstring arg = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
    const int id = _wtoi(arg.c_str());
    if (name == L"page") return SelectPage(t, id);
    if (name == L"click") return Click(t, id);
    if (name == L"busyclick") return BusyClick(t, id);
    if (name == L"box") return ReadBox(t, true);
    if (name == L"showbox") return ReadBox(t, false);
    if (name == L"list") return ReadList(t, id);
    if (name == L"info") return Info(t);
    if (name == L"close") return Close(t);
    HWND h = Control(t, id);
    if (!h) return false;
    const std::string head = ",\"id\":" + std::to_string(id);
    if (name == L"text") {
        Emit(Head("text") + head + ",\"text\":" + Json(TextOf(h)) + "}");
    } else if (name == L"check") {
        Emit(Head("check") + head + ",\"checked\":" + std::to_string(Send(h, BM_GETCHECK)) + "}");
    } else if (name == L"set" && arg.find(L'=') != std::wstring::npos) {
        Send(h, WM_SETTEXT, 0, LPARAM(arg.c_str() + arg.find(L'=') + 1));
        Emit(Head("set") + head + ",\"text\":" + Json(TextOf(h)) + "}");
    } else {
        return false;
    }
    return true;
}

// Finds the sheet (of the launched program, if any), timing from the launch.
bool FindSheet(Target& t, const wchar_t* start) {
    LARGE_INTEGER freq, t0, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    const auto ms = [&] {
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart);
    };
    if (start) {
        std::wstring cmd = L"\"" + std::wstring(start) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi)) {
            return false;
        }
        t.pid = pi.dwProcessId;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (!Await([&] { return (t.sheet = FindTitled(t.pid, true)) && IsWindowVisible(t.sheet); })) {
        return false;
    }
    const double visible = ms();
    GetWindowThreadProcessId(t.sheet, &t.pid);
    const bool page = Await([&] { return IsWindowVisible(CurrentPage(t)) != FALSE; });
    char line[128];
    std::snprintf(line, sizeof line, ",\"pid\":%lu,\"visible_ms\":%.1f,\"page_ms\":%.1f}",
                  t.pid, visible, ms());
    Emit(Head("find") + line);
    return page;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* start = nullptr;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == L'-'; i += 2) {
        if (std::wcscmp(argv[i], L"--start") == 0) {
            start = argv[i + 1];
        } else if (std::wcscmp(argv[i], L"--timeout") == 0) {
            g_timeoutMs = DWORD(_wtoi(argv[i + 1]));
        }
    }
    Target t;
    if (!FindSheet(t, start)) {
        Emit(Head("find") + ",\"error\":\"no sheet\"}");
        return 1;
    }
    for (; i < argc; ++i) {
        if (!RunStep(t, argv[i])) {
            Emit(Head("error") + ",\"at\":" + Json(argv[i]) + "}");
            return 1;
        }
    }
    return 0;
}
