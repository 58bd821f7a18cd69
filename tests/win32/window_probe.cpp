// Watches a running Brivane dialog from outside, the way a user would see it, and checks the
// end of its run:
//   window_probe PROGRAM-NAME EXPECTED-RESULT SCREENSHOT-DIR [--about]
// It waits for the main dialog, then for the message box captioned PROGRAM-NAME; checks that
// the status box already shows the result and the hint is unchanged; dismisses the box; checks
// the hint's new text; and checks that the dialog ends 3 s after the box went. With --about it
// opens the About box through the system-menu command in those 3 s instead of timing them.
// Screenshots of the screen go to SCREENSHOT-DIR as BMP files. Every wait is bounded; the step that
// fails is named. Exit 0 when all hold.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

std::wstring widen(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

std::string narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}

std::wstring textOf(HWND window) {
    wchar_t buffer[512] = {};
    // WM_GETTEXT works across processes, where GetWindowText would not for another's controls.
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return buffer;
}

std::wstring itemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? textOf(item) : L"<no control>";
}

// A visible top-level dialog window with exactly this caption (FindWindow ignores case, and
// "brivane" must not find "Brivane"), other than `besides`; waited for up to `seconds`.
HWND waitForDialog(const std::wstring& caption, double seconds, HWND besides = nullptr) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", caption.c_str()); w != nullptr;
             w = FindWindowExW(nullptr, w, L"#32770", caption.c_str())) {
            if (w != besides && IsWindowVisible(w) && textOf(w) == caption) {
                return w;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

template <typename Condition>
bool waitUntil(Condition condition, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The whole screen as a 24-bit BMP file.
void screenshot(const std::string& directory, const char* name) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the windows paint
    HDC screen = GetDC(nullptr);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD rowBytes = ((width * 3 + 3) / 4) * 4;
    std::string pixels(rowBytes * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::string path = directory + "\\" + name + ".bmp";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, f);
        std::fwrite(&info, sizeof info, 1, f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        std::fclose(f);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("screenshot: %s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "--about")) {
        std::fprintf(stderr,
                     "usage: window_probe PROGRAM-NAME EXPECTED-RESULT SCREENSHOT-DIR [--about]\n");
        return 2;
    }
    const bool aboutBox = argc == 5;
    const std::wstring program = widen(argv[1]);
    const std::wstring expected = widen(argv[2]);
    const std::string shots = argv[3];
    const std::wstring hint =
        L"The process needs about 1 minute. Please don't turn off the power during the process!!";

    HWND dialog = waitForDialog(L"Brivane", 60);
    check(dialog != nullptr, "the main dialog \"Brivane\" appears");
    if (dialog == nullptr) {
        return 1;
    }
    screenshot(shots, (std::string(argv[1]) + "-main-dialog").c_str());

    HWND box = waitForDialog(program, 120, dialog);
    check(box != nullptr, "a message box captioned with the program's name appears");
    if (box == nullptr) {
        return 1;
    }
    // The box's text is its static control 0xFFFF, there once the box is built.
    waitUntil([&] { return GetDlgItem(box, 0xFFFF) != nullptr; }, 5);
    const std::wstring boxText = itemText(box, 0xFFFF);
    check(boxText == expected, ("the message box says \"" + narrow(boxText) + "\"").c_str());
    check(itemText(dialog, 1002) == expected, "the status box shows the result before the box");
    check(itemText(dialog, 1001) == hint, "the hint is unchanged while the box is up");
    check(GetWindow(box, GW_OWNER) == dialog, "the box is owned by the main dialog");
    screenshot(shots, (std::string(argv[1]) + "-message-box").c_str());

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    const auto dismissed = Clock::now();
    check(waitUntil(
              [&] {
                  return itemText(dialog, 1001) == L"The process will auto close after 3 seconds.";
              },
              10),
          "after OK the hint reads \"The process will auto close after 3 seconds.\"");
    std::printf("the hint changed %.1f s after the box was dismissed\n",
                std::chrono::duration<double>(Clock::now() - dismissed).count());

    HWND about = nullptr;
    if (aboutBox) {
        PostMessageW(dialog, WM_SYSCOMMAND, 0x10, 0);
        about = waitForDialog(L"關於 Brivane", 10);
        check(about != nullptr, "system command 0x10 opens the About box \"關於 Brivane\"");
    }
    if (about != nullptr) {
        check(itemText(about, IDOK) == L"確定", "the About box's button reads \"確定\"");
        screenshot(shots, (std::string(argv[1]) + "-about-box").c_str());
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        check(waitUntil([&] { return !IsWindow(about); }, 10), "OK closes the About box");
    }

    check(waitUntil([&] { return !IsWindow(dialog); }, 15), "the dialog ends by itself");
    const double seconds = std::chrono::duration<double>(Clock::now() - dismissed).count();
    std::printf("the dialog ended %.1f s after the box was dismissed\n", seconds);
    check(seconds >= 2.9, "it does not end before 3 s have passed");
    // Wine on a display without a window manager adds waits of its own around activation.
    check(seconds <= (aboutBox ? 15.0 : 9.0), "it ends a few seconds after the box");
    return failures == 0 ? 0 : 1;
}
