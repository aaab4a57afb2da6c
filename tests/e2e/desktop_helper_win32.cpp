// A second Windows program for the whole-program runs, for what xdotool cannot do:
//   desktop_helper post-tray EVENT   posts the tray callback (WM_TRAY_NOTIFY, low word EVENT) to
//                                    the running program's host frame, as the shell would; Wine's
//                                    tray has no keyboard, so NIN_KEYSELECT can only come this way
//   desktop_helper drop PATH...      drops the files on the running program's main window, as the
//                                    shell's WM_DROPFILES does (the block is placed in the
//                                    program's own memory, where the shell would put it)
//   desktop_helper stand-in TITLE    shows a window of another program with that title (a folder
//                                    window, say) and prints every WM_USER..WM_APP message it gets,
//                                    one number a line, until it is closed

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr UINT WM_TRAY_NOTIFY = 1124;
constexpr UINT TRAY_ICON_ID = 130;

// The running program's window of that class, and its process.
HWND FindProgramWindow(const wchar_t* windowClass, DWORD& process) {
    HWND window = ::FindWindowW(windowClass, nullptr);
    if (window == nullptr) {
        std::fwprintf(stderr, L"no %ls window\n", windowClass);
    } else {
        ::GetWindowThreadProcessId(window, &process);
    }
    return window;
}

int PostTray(unsigned event) {
    DWORD process = 0;
    HWND host = FindProgramWindow(L"ZovrelHostFrame", process);
    // As the shell does: the foreground may pass to the window the user just asked for.
    ::AllowSetForegroundWindow(process);
    return host != nullptr && ::PostMessageW(host, WM_TRAY_NOTIFY, TRAY_ICON_ID, event) ? 0 : 1;
}

int PostDrop(int count, wchar_t** paths) {
    // DROPFILES: offset of the list, drop point, non-client flag, wide names; then the names,
    // each with its NUL, and one more NUL.
    const DWORD header[5] = {sizeof(header), 40, 40, FALSE, TRUE};
    std::wstring names;
    for (int i = 0; i < count; ++i) {
        names.append(paths[i]).push_back(L'\0');
    }
    names.push_back(L'\0');
    std::string block(reinterpret_cast<const char*>(header), sizeof(header));
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));

    DWORD process = 0;
    HWND main = FindProgramWindow(L"ZovrelMainWnd", process);
    HANDLE target = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
    if (main == nullptr || target == nullptr) {
        return 1;
    }
    void* remote =
        ::VirtualAllocEx(target, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool ok = remote != nullptr &&
                    ::WriteProcessMemory(target, remote, block.data(), block.size(), nullptr) &&
                    ::PostMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    ::CloseHandle(target);
    return ok ? 0 : 1;
}

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER && message < WM_APP) {
        std::printf("%u\n", message);
        std::fflush(stdout);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int StandIn(const wchar_t* title) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &StandInProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"ZovrelTestStandIn";
    ::RegisterClassW(&windowClass);
    HWND window =
        ::CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                          700, 80, 320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"post-tray") == 0) {
        return PostTray(static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 0)));
    }
    if (argc == 3 && std::wcscmp(argv[1], L"stand-in") == 0) {
        return StandIn(argv[2]);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"drop") == 0) {
        return PostDrop(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "usage: desktop_helper post-tray EVENT | stand-in TITLE | drop PATH...\n");
    return 64;
}
