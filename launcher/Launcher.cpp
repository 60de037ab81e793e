// k40demo: the demonstration without the unit. Starts k40sim.exe from its own
// folder as a serial device server on a free port of 127.0.0.1, opens
// k40tool.exe from the same folder on it (K40_COM1=tcp://127.0.0.1:PORT; a
// shortcut cannot set the environment, and k40tool takes no arguments) and
// stops k40sim when k40tool closes. k40sim runs in a job that ends it with
// the launcher, however the launcher ends. Arguments go on to k40sim, e.g.
// "k40demo --fault silent:10" for a unit that misses one reply in ten.
// "k40demo --web": k40ctl.exe serve polls k40sim instead (commands allowed, on
// loopback only) and the page it gives opens in the default browser; the
// demo ends when its message box is closed.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <thread>

#include "base/win32/Wide.h"
#include "link/OpenError.h"

namespace {

const wchar_t kCaption[] = L"k40tool demo";
// How long k40sim may take to say where it listens: a first start that a
// virus scanner holds up, or a loaded machine, takes seconds.
constexpr DWORD kListenTimeoutMs = 30000;
constexpr DWORD kPollMs = 20;

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The reason goes to a message box, and also to the standard error that a
// script or a console gave the launcher (a start from the Start menu has none).
int Fail(const std::wstring& text) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE) {
        const std::string line = "k40demo: " + Utf8(text.c_str()) + "\n";
        DWORD written = 0;
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONSTOP);
    return 1;
}

// The system's own words, as the link words its errors.
std::wstring SystemMessage(DWORD error) {
    return Utf16(SystemErrorText(static_cast<int>(error)));
}

// The launcher's own folder, with its trailing backslash.
std::wstring OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path.substr(0, path.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

// A job whose last handle, the launcher's, ends every process in it.
Handle KillOnCloseJob() {
    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &info,
                                         sizeof info)) {
        return nullptr;
    }
    return job;
}

// Starts exe (a full path) with the given command line, in job unless it is
// null: suspended until it is in the job, so that it never runs outside it.
// The process's handle, or null with the reason in error.
Handle Start(const std::wstring& exe, const std::wstring& commandLine, STARTUPINFOW& si,
             DWORD flags, HANDLE job, std::wstring& error) {
    std::wstring line = commandLine;  // CreateProcessW may write to it
    PROCESS_INFORMATION pi{};
    const BOOL inherit = (si.dwFlags & STARTF_USESTDHANDLES) != 0;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, inherit,
                        flags | (job != nullptr ? CREATE_SUSPENDED : 0), nullptr, nullptr, &si,
                        &pi)) {
        error = L"Cannot start " + exe + L":\n" + SystemMessage(GetLastError());
        return nullptr;
    }
    Handle process(pi.hProcess);
    Handle thread(pi.hThread);
    if (job != nullptr && !AssignProcessToJobObject(job, pi.hProcess)) {
        error = L"Cannot put " + exe + L" in a job:\n" + SystemMessage(GetLastError());
        TerminateProcess(pi.hProcess, 1);
        return nullptr;
    }
    ResumeThread(pi.hThread);
    return process;
}

// The first line a program writes, without its line end: where it listens, or
// why it could not. With a prefix, the first line that starts with it (or the
// first line when none did). Empty if nothing came in time.
std::string FirstLine(HANDLE pipe, const std::string& prefix = "") {
    std::string text;
    const DWORD start = GetTickCount();
    const auto found = [&] {
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            if (text.compare(at, prefix.size(), prefix) == 0) {
                text = text.substr(at);
                return true;
            }
        }
        return false;
    };
    while (!found() && GetTickCount() - start < kListenTimeoutMs) {
        DWORD ready = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &ready, nullptr)) {
            break;  // k40sim has ended
        }
        char buf[256];
        DWORD n = 0;
        if (ready == 0) {
            Sleep(kPollMs);
        } else if (ReadFile(pipe, buf, sizeof buf < ready ? sizeof buf : ready, &n, nullptr)) {
            text.append(buf, n);
        }
    }
    return text.substr(0, text.find_first_of("\r\n"));
}

// Starts the command line in job, its standard output and error into a pipe
// (no console); the pipe's reading end, which ends with the program, or none
// with the reason in error.
Handle StartPiped(const std::wstring& exe, const std::wstring& line, HANDLE job,
                  Handle& process, std::wstring& error) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        error = L"Cannot make a pipe:\n" + SystemMessage(GetLastError());
        return {};
    }
    Handle reader(read);
    Handle writer(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = write;
    process = Start(exe, line, si, CREATE_NO_WINDOW, job, error);
    if (!process) {
        return {};
    }
    return reader;
}

// k40ctl serve on k40sim in job: the page's address (http://127.0.0.1:PORT/),
// or empty with the reason in error. Its standard error is read on to its end
// by a thread of its own, so that serve never waits on a full pipe.
std::string StartServe(const std::wstring& exe, const std::string& unit, HANDLE job,
                       Handle& serve, std::wstring& error) {
    const std::wstring line = L"\"" + exe + L"\" --port " + Utf16(unit) +
                              L" serve --listen 127.0.0.1:0 --allow-commands";
    Handle reader = StartPiped(exe, line, job, serve, error);
    if (!reader) {
        return {};
    }
    const std::string prefix = "k40ctl: serving ";
    const std::string first = FirstLine(reader.get(), prefix);
    if (first.rfind(prefix, 0) != 0) {
        error = L"k40ctl serve did not start:\n" + Utf16(first);
        return {};
    }
    std::thread([pipe = reader.release()] {
        char buf[512];
        DWORD n = 0;
        while (ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) {
        }
        CloseHandle(pipe);
    }).detach();
    return first.substr(prefix.size());
}

// Starts k40sim.exe in job on a free port of 127.0.0.1; its address
// (tcp://127.0.0.1:PORT), or empty with the reason in error.
std::string StartSim(const std::wstring& exe, const std::wstring& args, HANDLE job,
                     Handle& sim, std::wstring& error) {
    // Its messages and the address both come through the pipe.
    const std::wstring line = L"\"" + exe + L"\" --listen 127.0.0.1:0 --quiet " + args;
    Handle reader = StartPiped(exe, line, job, sim, error);
    if (!reader) {
        return {};
    }
    const std::string first = FirstLine(reader.get());
    if (first.rfind("tcp://", 0) != 0) {
        DWORD status = 0;
        const bool ended = WaitForSingleObject(sim.get(), 0) == WAIT_OBJECT_0 &&
                           GetExitCodeProcess(sim.get(), &status);
        error = !first.empty() ? L"k40sim did not start:\n" + Utf16(first)
                : ended ? L"k40sim ended with status " + std::to_wstring(status) + L" at its start."
                        : L"k40sim did not start within " +
                              std::to_wstring(kListenTimeoutMs / 1000) + L" s.";
        return {};
    }
    return first;
}

}  // namespace

// The page of k40ctl serve on k40sim, in the default browser, until the
// message box is closed.
int WebDemo(const std::wstring& folder, const std::string& unit, HANDLE job) {
    Handle serve;
    std::wstring error;
    const std::string url = StartServe(folder + L"k40ctl.exe", unit, job, serve, error);
    if (url.empty()) {
        return Fail(error);
    }
    const std::wstring wide = Utf16(url);
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    MessageBoxW(nullptr,
                (L"k40ctl serve polls k40sim, the simulated unit, and gives its page at\n" +
                 wide + L"\n\nOK ends the demo.").c_str(),
                kCaption, MB_OK | MB_ICONINFORMATION);
    TerminateJobObject(job, 0);
    WaitForSingleObject(serve.get(), INFINITE);
    return 0;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR args, int) {
    const std::wstring folder = OwnFolder();
    const Handle job = KillOnCloseJob();
    if (!job) {
        return Fail(L"Cannot make a job for k40sim:\n" + SystemMessage(GetLastError()));
    }
    std::wstring simArgs = args;
    const bool web = simArgs.rfind(L"--web", 0) == 0;
    if (web) {
        simArgs = simArgs.substr(5);
    }
    Handle sim;
    std::wstring error;
    const std::string address = StartSim(folder + L"k40sim.exe", simArgs, job.get(), sim, error);
    if (address.empty()) {
        return Fail(error);
    }
    if (web) {
        return WebDemo(folder, address, job.get());
    }
    SetEnvironmentVariableW(L"K40_COM1", Utf16(address).c_str());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    const std::wstring toolExe = folder + L"k40tool.exe";
    const Handle tool = Start(toolExe, L"\"" + toolExe + L"\"", si, 0, nullptr, error);
    DWORD status = 1;
    if (tool) {
        WaitForSingleObject(tool.get(), INFINITE);
        GetExitCodeProcess(tool.get(), &status);
    }
    TerminateJobObject(job.get(), 0);
    WaitForSingleObject(sim.get(), INFINITE);
    return tool ? static_cast<int>(status) : Fail(error);
}
