// The Qt 6 Widgets shell: the main dialog, the About box and the message box, behind the
// DialogHost seam. Widgets are touched on the GUI thread only: the worker's and the animation's
// calls are posted there, and a message box call waits until the box is dismissed or the dialog
// has gone.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <mutex>
#include <string>

#include "app/dialog_host.h"

class QLabel;
class QLineEdit;

namespace brivane {

// Dialog units to pixels for a font, as a Windows dialog template is laid out.
struct DialogUnits {
    explicit DialogUnits(const QFont& font);
    int x(int du) const { return (du * baseX + 2) / 4; }
    int y(int du) const { return (du * baseY + 4) / 8; }
    int baseX;
    int baseY;
};

QIcon programIcon();

class UpdateWindow : public QDialog {
public:
    UpdateWindow();
    QLineEdit* statusBox() const { return status_; }
    QLabel* hintLabel() const { return hint_; }
    void showAbout();
    // Enter, Esc and the close box end the dialog only while it is enabled.
    void reject() override;
    void accept() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QLineEdit* status_;
    QLabel* hint_;
};

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(QWidget* parent);
};

class QtDialogHost : public QObject, public DialogHost {
public:
    explicit QtDialogHost(std::string programDirectory);
    ~QtDialogHost() override;

    void runModal(const std::function<void()>& onInitDialog) override;
    void enableDialog(bool enabled) override;
    void setItemText(int id, const std::string& text) override;
    void messageBox(const std::string& text) override;
    void endDialog() override;
    std::string programDirectory() override { return programDirectory_; }

    UpdateWindow* window() const { return window_; }
    // Called on the GUI thread with each new main window, before the threads start.
    void onWindowCreated(std::function<void(UpdateWindow&)> hook) {
        windowCreated_ = std::move(hook);
    }
    // The message box caption: the program's file name without its extension.
    static QString caption();

private:
    void post(std::function<void(UpdateWindow&)> action);

    std::string programDirectory_;
    QPointer<UpdateWindow> window_;
    std::function<void(UpdateWindow&)> windowCreated_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
};

}  // namespace brivane
