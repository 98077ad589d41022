// The player's icon in the notification area: "Player stoppen" ends the
// running play, "Player schließen" asks and then ends the player.
#pragma once

#include <functional>
#include <memory>

class QSystemTrayIcon;
class QMenu;

namespace qpx::player {

class TrayIcon {
public:
    // `stop_play` is called for "Player stoppen"; the application quits
    // after "Player schließen" is confirmed.
    explicit TrayIcon(std::function<void()> stop_play);
    ~TrayIcon();

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace qpx::player
