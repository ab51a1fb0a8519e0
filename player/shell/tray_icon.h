// The notification-area icon, by the setting TaskType: 0 in the notification
// area only, 1 on the taskbar only (no icon), 2 in both.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>

class QSystemTrayIcon;

namespace sonfara::shell {

class TrayIcon : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTrayOnly = 0;
    static constexpr int kTaskbarOnly = 1;
    static constexpr int kTrayAndTaskbar = 2;

    explicit TrayIcon(const QIcon& icon, QObject* parent = nullptr);

    // The task type in effect: a desktop without a notification area makes
    // every type 1 (said once per process on standard error).
    static int EffectiveTaskType(int taskType);

    // Adds the icon unless the task type is 1. A failing add is ignored.
    void Add(int taskType);
    void Remove();
    bool Shown() const;

  signals:
    // On the UI thread. Double click: restore the control window.
    void restoreRequested();
    // Right click: the file menu at the pointer, the windows staying as they are.
    void menuRequested(const QPoint& globalPos);

  private:
    QSystemTrayIcon* icon_;
};

}  // namespace sonfara::shell
