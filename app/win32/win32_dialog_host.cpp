#include "app/win32/win32_dialog_host.h"

#include "app/program_directory.h"
#include "app/res/resource.h"

namespace brivane {
namespace {

// Messages the worker and the animation post to the dialog.
constexpr UINT kEnable = WM_APP + 1;  // wParam: enabled
constexpr UINT kEnd = WM_APP + 3;

constexpr UINT kAboutCommand = IDM_ABOUTBOX;

std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

POINT centredIcon(const RECT& client, int iconWidth, int iconHeight) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    return {(width - iconWidth + 1) / 2, (height - iconHeight + 1) / 2};
}

Win32DialogHost::Win32DialogHost(HINSTANCE instance)
    : instance_(instance),
      bigIcon_(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), 0))),
      smallIcon_(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0))) {}

std::wstring Win32DialogHost::caption() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.find_last_of(L'.'));
}

std::string Win32DialogHost::programDirectory() {
    return ProgramDirectory();
}

void Win32DialogHost::runModal(const std::function<void()>& onInitDialog) {
    onInit_ = &onInitDialog;
    DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_BRIVANE_DIALOG), nullptr, dialogProc,
                    reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    onInit_ = nullptr;
}

INT_PTR CALLBACK Win32DialogHost::dialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(window, DWLP_USER));
    return host != nullptr ? host->handle(window, message, wParam, lParam) : FALSE;
}

void Win32DialogHost::onInitDialog(HWND window) {
    dialog_ = window;
    // The About item of the system menu, when string 101 has a text.
    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        wchar_t about[128] = {};
        if (LoadStringW(instance_, IDS_ABOUTBOX, about, 128) > 0 && about[0] != L'\0') {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutCommand, about);
        }
    }
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    (*onInit_)();
}

void Win32DialogHost::onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const POINT at = centredIcon(client, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, bigIcon_);
    EndPaint(window, &paint);
}

INT_PTR Win32DialogHost::handle(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(window);
            return TRUE;  // the focus goes to the first tab stop, the status box
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == kAboutCommand) {
                DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, aboutProc, 0);
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            if (IsIconic(window)) {
                onPaint(window);
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(bigIcon_);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case kEnable:
            EnableWindow(window, wParam != 0);
            return TRUE;
        case kEnd:
            EndDialog(window, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

void Win32DialogHost::enableDialog(bool enabled) {
    PostMessageW(dialog_, kEnable, enabled ? 1 : 0, 0);
}

void Win32DialogHost::setItemText(int id, const std::string& text) {
    // Sent, not posted: the text is in the control when this returns, so the result is in the
    // status box before the message box shows. Safe from deadlock: the dialog's thread takes
    // no lock while its window exists.
    SetDlgItemTextW(dialog_, id, widen(text).c_str());
}

void Win32DialogHost::messageBox(const std::string& text) {
    MessageBoxW(dialog_, widen(text).c_str(), caption().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void Win32DialogHost::endDialog() {
    PostMessageW(dialog_, kEnd, 0, 0);
}

}  // namespace brivane
