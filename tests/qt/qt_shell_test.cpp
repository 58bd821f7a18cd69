// The Qt shell on the offscreen platform: layout from dialog units, the status box through a
// whole run, the message box, the hint, the About box from the context menu, and a close
// refused while the worker has the dialog disabled. Screenshots go to the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "app/app_rig.h"
#include "app/messages.h"
#include "app/qt/qt_dialog_host.h"

namespace brivane::testing {
namespace {

std::string screenshotPath(const char* name) {
    return std::string(BRIVANE_SCREENSHOT_DIR) + "/" + name;
}

// Calls `act` on the first visible top-level widget of type W, as soon as one shows.
template <typename W>
void whenShown(std::function<void(W&)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* target = dynamic_cast<W*>(w); target != nullptr && target->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*target);
                return;
            }
        }
    });
    timer->start(5);
}

TEST(QtShell, LaysTheDialogOutInDialogUnits) {
    UpdateWindow window;
    const DialogUnits du(window.font());
    EXPECT_EQ(window.windowTitle(), "Brivane");
    EXPECT_EQ(window.size(), QSize(du.x(165), du.y(48)));
    EXPECT_EQ(window.statusBox()->geometry(), QRect(du.x(7), du.y(7), du.x(151), du.y(12)));
    EXPECT_EQ(window.hintLabel()->geometry(), QRect(du.x(7), du.y(24), du.x(151), du.y(17)));
    EXPECT_TRUE(window.statusBox()->isReadOnly());
    EXPECT_EQ(window.statusBox()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(window.hintLabel()->text().toStdString(), text::hint);
    EXPECT_GT(du.baseX, 0);
}

TEST(QtShell, ARunEndsInSuccessWithTheBoxThenTheHint) {
    SimRig rig(cameraFor({}));
    ImageFolder images(18, 0x51);
    QtDialogHost host(images.directory());
    ScaledClock clock(0.01);
    std::atomic<bool> firstLine{false};
    UpdateApp app(host, clock, animationFirst([&firstLine] { return firstLine.load(); }));

    std::vector<std::string> statusTexts;
    std::string boxText, boxTitle, statusWhenBoxShown, hintWhenBoxShown;
    bool screenshotTaken = false;
    host.onWindowCreated([&](UpdateWindow& window) {
        QObject::connect(window.statusBox(), &QLineEdit::textChanged, [&](const QString& t) {
            statusTexts.push_back(t.toStdString());
            firstLine = true;
        });
    });
    whenShown<QMessageBox>([&](QMessageBox& box) {
        boxText = box.text().toStdString();
        boxTitle = box.windowTitle().toStdString();
        statusWhenBoxShown = host.window()->statusBox()->text().toStdString();
        hintWhenBoxShown = host.window()->hintLabel()->text().toStdString();
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        EXPECT_EQ(box.buttons().size(), 1);
        screenshotTaken =
            box.grab().save(QString::fromStdString(screenshotPath("message-box.png")));
        host.window()->grab().save(QString::fromStdString(screenshotPath("main-dialog.png")));
        box.accept();
    });
    app.InitInstance();

    EXPECT_EQ(boxText, text::success);
    EXPECT_EQ(boxTitle, QtDialogHost::caption().toStdString());
    EXPECT_EQ(statusWhenBoxShown, text::success) << "the result is in the status box first";
    EXPECT_EQ(hintWhenBoxShown, text::hint) << "the hint changes only after the box";
    ASSERT_FALSE(statusTexts.empty());
    EXPECT_EQ(statusTexts.front(), "Initializing    ");
    EXPECT_EQ(statusTexts.back(), text::success);
    EXPECT_TRUE(screenshotTaken);
    EXPECT_EQ(rig.camera->flash().memory(), imageFor(18, camsim::kFirstProductId, 0x51));
}

TEST(QtShell, ADisabledDialogRefusesToClose) {
    UpdateWindow window;
    window.show();
    window.setEnabled(false);
    window.close();
    window.reject();
    EXPECT_TRUE(window.isVisible());
    window.setEnabled(true);
    window.reject();
    EXPECT_FALSE(window.isVisible());
}

TEST(QtShell, TheContextMenuOpensTheAboutBox) {
    UpdateWindow window;
    window.show();
    std::string item, title, version, button;
    whenShown<QMenu>([&](QMenu& menu) {
        ASSERT_EQ(menu.actions().size(), 1);
        item = menu.actions().front()->text().toStdString();
        whenShown<AboutDialog>([&](AboutDialog& about) {
            title = about.windowTitle().toStdString();
            for (QLabel* label : about.findChildren<QLabel*>()) {
                if (label->text() == "Brivane Version 1.0") {
                    version = label->text().toStdString();
                }
            }
            const auto buttons = about.findChildren<QPushButton*>();
            if (!buttons.empty()) {
                button = buttons.front()->text().toStdString();
            }
            about.grab().save(QString::fromStdString(screenshotPath("about-box.png")));
            about.accept();
        });
        menu.actions().front()->trigger();
        menu.close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            window.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&window, &event);
    EXPECT_EQ(item, "關於 Brivane(&A)...");
    EXPECT_EQ(title, "關於 Brivane");
    EXPECT_EQ(version, "Brivane Version 1.0");
    EXPECT_EQ(button, "確定");
}

}  // namespace
}  // namespace brivane::testing

int main(int argc, char** argv) {
    // No screen needed: the widgets draw offscreen unless told otherwise.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
