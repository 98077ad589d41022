#include "tray_icon.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "player_texts.h"

namespace qpx::player {
namespace {

QString q(int id) { return QString::fromStdString(texts::text(id)); }

// The theme's audio-disc icon, or a drawn disc where the theme has none.
QIcon player_icon() {
    const QIcon themed = QIcon::fromTheme("media-optical-audio");
    if (!themed.isNull()) return themed;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(190, 190, 200));
    painter.setPen(QColor(90, 90, 100));
    painter.drawEllipse(2, 2, 28, 28);
    painter.setBrush(Qt::white);
    painter.drawEllipse(12, 12, 8, 8);
    return QIcon(pixmap);
}

}  // namespace

TrayIcon::TrayIcon(std::function<void()> stop_play)
    : menu_(std::make_unique<QMenu>()), icon_(std::make_unique<QSystemTrayIcon>(player_icon())) {
    QObject::connect(menu_->addAction(q(texts::kStopPlayer)), &QAction::triggered, [stop_play] { stop_play(); });
    QObject::connect(menu_->addAction(q(texts::kClosePlayer)), &QAction::triggered, [] {
        const auto answer = QMessageBox::question(nullptr, q(texts::kPlayerName), q(texts::kConfirmClose),
                                                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer == QMessageBox::Ok) QApplication::quit();
    });
    menu_->addSeparator();
    QObject::connect(menu_->addAction(q(texts::kInfoItem)), &QAction::triggered,
                     [] { QMessageBox::about(nullptr, q(texts::kInfoTitle), q(texts::kInfoTitle)); });
    icon_->setToolTip(q(texts::kPlayerName).left(63));
    icon_->setContextMenu(menu_.get());
    icon_->show();
}

TrayIcon::~TrayIcon() { icon_->hide(); }

}  // namespace qpx::player
