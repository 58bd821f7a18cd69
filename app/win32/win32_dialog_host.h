// The Win32 shell: the main dialog on template 102, the About box on template 100 from the
// system menu, and the result message box, behind the DialogHost seam. Texts are set from the
// calling thread (a message sent to the dialog's thread); enabling and ending are posted there;
// the message box runs on the calling (worker) thread, modal to the dialog.
#pragma once

#include <windows.h>

#include <string>

#include "app/dialog_host.h"

namespace brivane {

// Where the minimised dialog draws its icon: centred, with signed division that truncates
// toward zero (a 0 x 0 client area puts a 32 x 32 icon at -15, -15).
POINT centredIcon(const RECT& client, int iconWidth, int iconHeight);

class Win32DialogHost : public DialogHost {
public:
    explicit Win32DialogHost(HINSTANCE instance);

    void runModal(const std::function<void()>& onInitDialog) override;
    void enableDialog(bool enabled) override;
    void setItemText(int id, const std::string& text) override;
    void messageBox(const std::string& text) override;
    void endDialog() override;
    std::string programDirectory() override;

    HWND dialog() const { return dialog_; }

    // The message box caption: the program's file name without its extension.
    static std::wstring caption();

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog(HWND window);
    void onPaint(HWND window);

    HINSTANCE instance_;
    HICON bigIcon_;
    HICON smallIcon_;
    HWND dialog_ = nullptr;
    const std::function<void()>* onInit_ = nullptr;
};

}  // namespace brivane
