#include "app/qt/qt_dialog_host.h"

#include "brivane_version.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include "app/messages.h"

namespace brivane {
namespace {

const char* const kAboutItem = "關於 Brivane(&A)...";

QFont dialogFont() {
    QFont font("Times New Roman", 12);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QPixmap drawIcon(int size) {
    // A camera body with a lens, in a handful of the 16 standard colours.
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const double s = size / 32.0;
    p.scale(s, s);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(0, 0, 128));
    p.drawRoundedRect(3, 9, 26, 18, 3, 3);
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(10, 5, 10, 5);
    p.setBrush(QColor(192, 192, 192));
    p.drawEllipse(QPointF(16, 18), 7, 7);
    p.setBrush(QColor(0, 128, 128));
    p.drawEllipse(QPointF(16, 18), 4, 4);
    p.setBrush(QColor(255, 255, 0));
    p.drawRect(23, 12, 3, 2);
    return pixmap;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    baseY = metrics.height();
}

QIcon programIcon() {
    QIcon icon;
    icon.addPixmap(drawIcon(32));
    icon.addPixmap(drawIcon(16));
    return icon;
}

UpdateWindow::UpdateWindow() {
    setWindowTitle("Brivane");
    setWindowIcon(programIcon());
    setFont(dialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const DialogUnits du(font());
    setFixedSize(du.x(165), du.y(48));

    status_ = new QLineEdit(this);
    status_->setReadOnly(true);
    status_->setAlignment(Qt::AlignCenter);
    status_->setGeometry(du.x(7), du.y(7), du.x(151), du.y(12));

    hint_ = new QLabel(text::hint, this);
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hint_->setGeometry(du.x(7), du.y(24), du.x(151), du.y(17));
    status_->setFocus();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    // A disabled dialog takes no input, its close box included.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void UpdateWindow::reject() {
    if (isEnabled()) {
        QDialog::reject();
    }
}

void UpdateWindow::accept() {
    if (isEnabled()) {
        QDialog::accept();
    }
}

void UpdateWindow::contextMenuEvent(QContextMenuEvent* event) {
    // Linux window managers own the system menu; the About item lives here instead.
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(kAboutItem));
    connect(about, &QAction::triggered, this, [this] { showAbout(); });
    menu.exec(event->globalPos());
}

void UpdateWindow::showAbout() {
    AboutDialog about(this);
    about.exec();
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("關於 Brivane"));
    QFont font(QString::fromUtf8("新細明體"), 9);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.x(235), du.y(55));

    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(32, 32));
    icon->setGeometry(du.x(11), du.y(17), std::max(du.x(20), 32), std::max(du.y(20), 32));
    auto* version = new QLabel(kAboutVersionText, this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(du.x(40), du.y(10), du.x(119), du.y(8));
    auto* second = new QLabel("Camera firmware updater", this);
    second->setGeometry(du.x(40), du.y(25), du.x(119), du.y(8));
    auto* ok = new QPushButton(QString::fromUtf8("確定"), this);
    ok->setDefault(true);
    ok->setGeometry(du.x(178), du.y(7), du.x(50), du.y(14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QtDialogHost::QtDialogHost(std::string programDirectory)
    : programDirectory_(std::move(programDirectory)) {}

QtDialogHost::~QtDialogHost() = default;

QString QtDialogHost::caption() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void QtDialogHost::post(std::function<void(UpdateWindow&)> action) {
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            if (window_) {
                action(*window_);
            }
        },
        Qt::QueuedConnection);
}

void QtDialogHost::runModal(const std::function<void()>& onInitDialog) {
    UpdateWindow window;
    window_ = &window;
    if (windowCreated_) {
        windowCreated_(window);
    }
    onInitDialog();
    window.exec();
    window_ = nullptr;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

void QtDialogHost::enableDialog(bool enabled) {
    post([enabled](UpdateWindow& w) { w.setEnabled(enabled); });
}

void QtDialogHost::setItemText(int id, const std::string& text) {
    const QString value = QString::fromStdString(text);
    post([id, value](UpdateWindow& w) {
        if (id == kStatusBoxId) {
            w.statusBox()->setText(value);
        } else if (id == kHintLabelId) {
            w.hintLabel()->setText(value);
        }
    });
}

void QtDialogHost::messageBox(const std::string& text) {
    auto dismissed = std::make_shared<bool>(false);
    const QString value = QString::fromStdString(text);
    post([this, value, dismissed](UpdateWindow& w) {
        QMessageBox box(QMessageBox::Warning, caption(), value, QMessageBox::Ok, &w);
        box.exec();
        {
            std::lock_guard lock(mutex_);
            *dismissed = true;
        }
        changed_.notify_all();
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this, &dismissed] { return *dismissed || ended_; });
}

void QtDialogHost::endDialog() {
    post([](UpdateWindow& w) { w.reject(); });
}

}  // namespace brivane
