// The host over the thread's message queue, and the windows of the targets.
#include <map>
#include <mutex>

#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

constexpr const char* kHiddenClass = "Hidden Window";

HINSTANCE gInstance = nullptr;
DWORD gLoopThread = 0;
std::mutex gMutex;
std::map<MessageTarget*, HWND> gBound;
std::map<MessageTarget*, HWND> gHidden;
std::map<MessageTarget*, HWND> gBoxOwners;

// The messages the devices and the host post: the wave and mixer
// completions. The window's own life-cycle messages stay with it.
bool isPostedToTarget(UINT message) {
    return message >= 0x3B0 && message <= 0x3DF;
}

LRESULT CALLBACK hiddenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* target = reinterpret_cast<MessageTarget*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (target && isPostedToTarget(message)) {
        target->handleMessage(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeHiddenWindow(MessageTarget* target) {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = hiddenProc;
        wc.hInstance = gInstance;
        wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kHiddenClass;
        return RegisterClassA(&wc) != 0;
    }();
    if (!registered) return nullptr;
    HWND window =
        CreateWindowA(kHiddenClass, kHiddenClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, gInstance, nullptr);
    if (!window) return nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
    ShowWindow(window, SW_HIDE);
    return window;
}

class Win32Host final : public Host {
  public:
    void postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override {
        if (HWND window = windowFor(target)) PostMessageA(window, message, wParam, lParam);
    }
    void postQuitMessage(int exitCode) override { PostQuitMessage(exitCode); }
    int messageBox(MessageTarget* owner, const std::string& text, const std::string& caption,
                   uint32_t style) override {
        HWND window = nullptr;
        if (owner) {
            std::lock_guard lock(gMutex);
            auto it = gBound.find(owner);
            if (it != gBound.end()) window = it->second;
            // A box owned by a window that a modal dialog keeps disabled
            // would enable it again when it closes, and hand it the
            // activation: the dialog owns it instead.
            if (auto d = gBoxOwners.find(owner); d != gBoxOwners.end() && IsWindow(d->second))
                window = d->second;
        }
        return MessageBoxA(window, text.c_str(), caption.c_str(), style);
    }
    void yieldTimeSlice() override { Sleep(0); }
};

}  // namespace

void initialize(HINSTANCE instance) {
    gInstance = instance;
    gLoopThread = GetCurrentThreadId();
}

std::unique_ptr<Host> makeHost() {
    return std::make_unique<Win32Host>();
}

HWND windowFor(MessageTarget* target) {
    if (!target) return nullptr;
    {
        std::lock_guard lock(gMutex);
        if (auto it = gBound.find(target); it != gBound.end()) return it->second;
        if (auto it = gHidden.find(target); it != gHidden.end()) return it->second;
    }
    // A window belongs to the thread that made it: only the loop's thread may.
    if (GetCurrentThreadId() != gLoopThread) return nullptr;
    HWND window = makeHiddenWindow(target);
    if (window) {
        std::lock_guard lock(gMutex);
        gHidden[target] = window;
    }
    return window;
}

void bindWindow(MessageTarget* target, HWND window) {
    std::lock_guard lock(gMutex);
    gBound[target] = window;
}

void setBoxOwner(MessageTarget* target, HWND dialog) {
    std::lock_guard lock(gMutex);
    if (dialog)
        gBoxOwners[target] = dialog;
    else
        gBoxOwners.erase(target);
}

void unbindWindow(MessageTarget* target) {
    std::lock_guard lock(gMutex);
    gBound.erase(target);
}

void destroyHiddenWindows() {
    std::map<MessageTarget*, HWND> hidden;
    {
        std::lock_guard lock(gMutex);
        hidden.swap(gHidden);
    }
    for (auto& [target, window] : hidden)
        DestroyWindow(window);
}

}  // namespace platform::win32
