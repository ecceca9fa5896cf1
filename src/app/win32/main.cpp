// tarnix.exe: the desktop program on Windows. The entry point declares the
// main window's class, creates the window (whose creation runs the whole
// start-up inside the controller) and runs the message loop. The command line
// chooses the timing of the output (--latency); a program without a console
// answers --help in a message box.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/win32/gdi_canvas.h"
#include "app/win32/main_view.h"
#include "engine/audio_engine.h"
#include "engine/version.h"
#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "platform/win32/win32_platform.h"
#include "ui/canvas.h"
#include "ui/command_line.h"
#include "ui/dialog_templates.h"
#include "ui/main_window.h"
#include "ui/window_messages.h"

namespace {

// The program's objects, for the whole run.
CAudioEngine gEngine;
engine::InputFilters gFilters;
CMixerExtend gMixer;
AutoInputLevel gInputLevel(gMixer);

constexpr int kIconResource = 113;
// The main window's own message to itself, outside the platform's range.
constexpr UINT kKeepDialogsAbove = WM_APP + 1;
constexpr UINT kMainMenuResource = static_cast<UINT>(ui::Menu::Main);

struct Program {
    win32_app::Win32View* view;
    ui::MainWindow* window;
};
Program gProgram{};

// The messages the controller acts on; every message then goes on to the
// default procedure, except the right button, whose popup ends it.
bool isControllerMessage(UINT message) {
    switch (message) {
        case WM_CREATE:
        case WM_DESTROY:
        case WM_SIZE:
        case WM_TIMER:
        case WM_COMMAND:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case MM_MIXM_LINE_CHANGE:
        case MM_MIXM_CONTROL_CHANGE:
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ui::MainWindow* window = gProgram.window;
    switch (message) {
        case WM_NCCREATE:
            gProgram.view->setWindow(hwnd);
            platform::win32::bindWindow(window, hwnd);
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            win32_app::GdiCanvas canvas(dc);
            window->paint(canvas);
            EndPaint(hwnd, &ps);
            break;
        }
        // The owned modeless dialogs are put back above the main window once
        // the click or the maximising that covered them is over.
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(hwnd, kKeepDialogsAbove, 0, 0);
            break;
        case WM_SIZE:
            if (wParam == SIZE_MAXIMIZED) PostMessageA(hwnd, kKeepDialogsAbove, 0, 0);
            window->handleMessage(message, wParam, lParam);
            break;
        case kKeepDialogsAbove:
            gProgram.view->keepDialogsAbove();
            return 0;
        case WM_RBUTTONDOWN:
            window->handleMessage(ui::kWmRButtonDown, wParam, lParam);
            return 0;
        case WM_NCDESTROY:
            platform::win32::unbindWindow(window);
            gProgram.view->setWindow(nullptr);
            break;
        default:
            if (isControllerMessage(message)) window->handleMessage(message, wParam, lParam);
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool registerMainClass(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.style = 0;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(win32_app::colorRef(ui::kWindowBackground));
    wc.lpszClassName = ui::kMainWindowClass;
    return RegisterClassA(&wc) != 0;
}

// Every message goes first to the active modeless dialog, so its keyboard
// navigation works; the rest is translated and dispatched.
int messageLoop() {
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND dialog = win32_app::Win32View::activeDialog();
        if (dialog && IsDialogMessageA(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showCommand) {
    const ui::DesktopCommandLine line = ui::parseDesktopCommandLine(__argc, __argv);
    if (line.help || line.version) {
        const std::string text = line.help
                                     ? ui::desktopHelp("tarnix.exe", ui::HelpLayout::MessageBox)
                                     : engine::versionNotice("tarnix.exe " TARNIX_VERSION);
        MessageBoxA(nullptr, text.c_str(), "Tarnix", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (!line.error.empty()) {
        MessageBoxA(nullptr, ("tarnix.exe: " + line.error).c_str(), "Tarnix",
                    MB_OK | MB_ICONEXCLAMATION);
        return 2;
    }
    platform::win32::initialize(instance);
    const auto host = platform::win32::makeHost();
    platform::setHost(host.get());
    const auto waveIn = platform::win32::makeWaveIn();
    const auto waveOut = platform::win32::makeWaveOut();
    const auto mixerDevice = platform::win32::makeMixerDevice();
    gEngine.attach(waveIn.get(), waveOut.get(), &gInputLevel, &gFilters);

    win32_app::Win32View view(instance);
    ui::MainWindow window(
        {gEngine, gFilters, gMixer, &gInputLevel, mixerDevice.get(), view, line.latency});
    view.attach(&window);
    gProgram = {&view, &window};

    if (!previous && !registerMainClass(instance)) return 0;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(kMainMenuResource));
    HWND hwnd = CreateWindowExA(0, ui::kMainWindowClass, ui::kMainWindowClass,
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance, nullptr);
    if (hwnd) {
        SetMenu(hwnd, menu);
        ShowWindow(hwnd, showCommand);
        UpdateWindow(hwnd);
    } else if (!window.destroyed()) {
        return 0;  // not made at all; a "Disagree" has posted the quit message
    }
    int code = messageLoop();
    // A window still standing means the engine ended the run (a device
    // failed): it is destroyed as on Exit, so the mixer's paths are left
    // audible, and the exit status says the run failed.
    if (!window.destroyed() && window.created()) {
        view.destroyWindow();
        code = 1;
    }
    platform::win32::destroyHiddenWindows();
    platform::setHost(nullptr);
    return code;
}
