#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace korvista {

// The command list: runs commands, evaluates their enabling rules and holds the suspended state.
// A command's enabled flag is kept here; the QAction (and so every bound menu entry and toolbar
// button) shows it only while the list is normal.
class TActionList : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QObject* sender)>;

    explicit TActionList(QObject* owner);
    ~TActionList() override;

    void Add(QAction* action, Handler execute, Handler update = {});
    const std::vector<QAction*>& Actions() const { return actions_; }

    // Nothing while suspended; otherwise updates the command and runs its handler when enabled.
    // Gives whether the handler ran.
    bool Execute(QAction* action);
    void Update(QAction* action);
    void UpdateAll();

    bool Enabled(const QAction* action) const;
    void SetEnabled(QAction* action, bool value);

    bool Suspended() const { return suspended_; }
    void SetSuspended(bool value);

    // A menu entry bound to a command: shows its caption (with an accelerator, see WithAccelerators),
    // picture and state and executes it.
    QAction* AddMenuEntry(QMenu* menu, QAction* command, const QString& objectName);
    // Updates the commands of a menu's entries whenever it is about to show.
    void WatchMenu(QMenu* menu);

    // Idle part of the update cycle: these commands, in this order, while window is visible and enabled.
    void SetIdleCommands(QWidget* window, std::vector<QAction*> commands);
    void IdleUpdate();
    // The commands of the idle set, whether or not the window is visible.
    void UpdateWindowCommands();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Command {
        QAction* action;
        Handler execute;
        Handler update;
        bool enabled = true;
    };

    // A bound element's trigger: runs the command, errors to the error box, then the idle update.
    void ExecuteTriggered(QAction* action);
    void ShowMenuCaptions(QMenu* menu);
    Command* Find(const QAction* action);
    const Command* Find(const QAction* action) const;
    void OnIdle();

    std::vector<QAction*> actions_;
    std::vector<Command> commands_;
    std::vector<std::pair<QAction*, QAction*>> menuEntries_; // entry, command
    bool suspended_ = false;
    QPointer<QWidget> idleWindow_;
    std::vector<QAction*> idleCommands_;
    // Fires once the queue has run dry after an event, also inside a non-blocking pass of the loop.
    QTimer idleTimer_;
};

// Suspends the command list for its lifetime, also when an error ends the scope.
class TSuspendGuard {
public:
    explicit TSuspendGuard(TActionList& list);
    // Leaving the suspended state runs update handlers; their errors go to the error box.
    ~TSuspendGuard();
    TSuspendGuard(const TSuspendGuard&) = delete;
    TSuspendGuard& operator=(const TSuspendGuard&) = delete;

private:
    TActionList& list_;
    bool was_;
};

} // namespace korvista
