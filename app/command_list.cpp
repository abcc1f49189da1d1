#include "app/command_list.h"

#include "app/accelerators.h"
#include "app/error_box.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <algorithm>

namespace korvista {

TActionList::TActionList(QObject* owner) : QObject(owner) {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(
            QCoreApplication::instance() ? QCoreApplication::instance()->thread() : nullptr))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TActionList::OnIdle);
    // A zero timer times out when every pending event has been handled: the loop's idle moment, which
    // a loop that only polls (never blocks) reaches too.
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(0);
    connect(&idleTimer_, &QTimer::timeout, this, &TActionList::OnIdle);
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

TActionList::~TActionList() {
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

bool TActionList::eventFilter(QObject* watched, QEvent* event) {
    // The window appears with its commands' current look, not the look they had at creation.
    if (event->type() == QEvent::Show && watched == idleWindow_)
        OnIdle();
    // Whatever the loop handled may change a rule's outcome; the timer's own event changes nothing.
    if (watched != &idleTimer_ && !idleTimer_.isActive() && idleWindow_)
        idleTimer_.start();
    return false;
}

void TActionList::Add(QAction* action, Handler execute, Handler update) {
    actions_.push_back(action);
    commands_.push_back(Command{action, std::move(execute), std::move(update), action->isEnabled()});
    // A toolbar button with this command as its default action triggers it.
    connect(action, &QAction::triggered, this, [this, action] { ExecuteTriggered(action); });
}

void TActionList::ExecuteTriggered(QAction* action) {
    const QPointer<TActionList> self(this);
    Guarded([&] { Execute(action); });
    // The idle moment that follows a command in the loop, taken at once: a command triggered right
    // after this one meets the enabled states this one left, also when no event was processed between.
    if (self && HandlerDepth() == 0)
        Guarded([&] { self->UpdateWindowCommands(); });
}

TActionList::Command* TActionList::Find(const QAction* action) {
    auto it = std::find_if(commands_.begin(), commands_.end(),
                           [&](const Command& c) { return c.action == action; });
    return it == commands_.end() ? nullptr : &*it;
}

const TActionList::Command* TActionList::Find(const QAction* action) const {
    return const_cast<TActionList*>(this)->Find(action);
}

bool TActionList::Execute(QAction* action) {
    if (suspended_)
        return false;
    Update(action);
    Command* command = Find(action);
    if (!command || !command->enabled || !command->execute)
        return false;
    HandlerScope scope;
    Handler handler = command->execute; // the handler may add or drop commands
    handler(action);
    return true;
}

void TActionList::Update(QAction* action) {
    Command* command = Find(action);
    if (!command)
        return;
    if (command->update) {
        Handler handler = command->update;
        handler(action);
    } else if (command->enabled && !command->execute) {
        // Nobody handles the command: it stays disabled for good.
        SetEnabled(action, false);
    }
}

void TActionList::UpdateAll() {
    for (QAction* action : std::vector<QAction*>(actions_))
        Update(action);
}

bool TActionList::Enabled(const QAction* action) const {
    const Command* command = Find(action);
    return command && command->enabled;
}

void TActionList::SetEnabled(QAction* action, bool value) {
    Command* command = Find(action);
    if (!command || command->enabled == value)
        return;
    command->enabled = value;
    if (!suspended_)
        action->setEnabled(value);
}

void TActionList::SetSuspended(bool value) {
    if (suspended_ == value)
        return;
    suspended_ = value;
    if (suspended_)
        return;
    // Flags stored while suspended reach the bound elements now, whatever the updates below do.
    for (const Command& command : commands_)
        command.action->setEnabled(command.enabled);
    UpdateAll();
}

QAction* TActionList::AddMenuEntry(QMenu* menu, QAction* command, const QString& objectName) {
    auto* entry = new QAction(command->icon(), command->text(), menu);
    entry->setObjectName(objectName);
    entry->setEnabled(command->isEnabled());
    entry->setVisible(command->isVisible());
    menu->addAction(entry);
    menuEntries_.emplace_back(entry, command);
    connect(command, &QAction::changed, entry, [this, menu, entry, command] {
        ShowMenuCaptions(menu);
        entry->setIcon(command->icon());
        entry->setEnabled(command->isEnabled());
        entry->setVisible(command->isVisible());
    });
    connect(entry, &QAction::triggered, this, [this, command] { ExecuteTriggered(command); });
    ShowMenuCaptions(menu);
    return entry;
}

void TActionList::ShowMenuCaptions(QMenu* menu) {
    // An entry shows its command's caption with the accelerator it gets among its siblings.
    std::vector<QAction*> entries;
    QStringList captions;
    for (QAction* entry : menu->actions()) {
        if (entry->isSeparator())
            continue;
        auto it = std::find_if(menuEntries_.begin(), menuEntries_.end(),
                               [&](const auto& pair) { return pair.first == entry; });
        entries.push_back(entry);
        captions << (it != menuEntries_.end() ? it->second->text() : entry->text());
    }
    const QStringList shown = WithAccelerators(captions);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i]->text() != shown[static_cast<qsizetype>(i)])
            entries[i]->setText(shown[static_cast<qsizetype>(i)]);
}

void TActionList::WatchMenu(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        Guarded([&] {
            for (QAction* entry : menu->actions()) {
                auto it = std::find_if(menuEntries_.begin(), menuEntries_.end(),
                                       [&](const auto& pair) { return pair.first == entry; });
                if (it != menuEntries_.end())
                    Update(it->second);
            }
        });
    });
}

void TActionList::SetIdleCommands(QWidget* window, std::vector<QAction*> commands) {
    idleWindow_ = window;
    idleCommands_ = std::move(commands);
}

void TActionList::IdleUpdate() {
    if (!idleWindow_ || !idleWindow_->isVisible() || !idleWindow_->isEnabled())
        return;
    UpdateWindowCommands();
}

void TActionList::UpdateWindowCommands() {
    for (QAction* action : std::vector<QAction*>(idleCommands_))
        Update(action);
}

void TActionList::OnIdle() {
    // Not while a handler runs, also not inside the event dispatch of a comparison run or under a box.
    if (HandlerDepth() != 0)
        return;
    Guarded([this] { IdleUpdate(); });
}

TSuspendGuard::TSuspendGuard(TActionList& list) : list_(list), was_(list.Suspended()) {
    list_.SetSuspended(true);
}

TSuspendGuard::~TSuspendGuard() {
    try {
        list_.SetSuspended(was_);
    } catch (...) {
        ShowErrorBox(std::current_exception());
    }
}

} // namespace korvista
