#include "forms/ModuleCalls.h"

#include <QDialog>
#include <QWidget>
#include <deque>
#include <mutex>

namespace kvforms {

// What the worker hands to the window. The worker may post only while the window's calls
// object lives: it takes the lock, finds the owner and emits to it; the owner's
// destructor takes the same lock to leave.
struct ModuleCalls::Mailbox {
    enum class Kind { kStarted, kText, kFinished };
    struct Item {
        std::shared_ptr<Ticket> ticket;
        Kind kind;
        std::string text;
        std::function<void()> apply;  // kFinished: the outcome into the window
    };

    std::mutex mutex;
    ModuleCalls* owner = nullptr;
    std::deque<Item> items;

    void Post(Item item) {
        std::lock_guard lock(mutex);
        if (owner == nullptr || item.ticket->dropped.load()) return;
        items.push_back(std::move(item));
        emit owner->Arrived();
    }
    std::optional<Item> Take() {
        std::lock_guard lock(mutex);
        if (items.empty()) return std::nullopt;
        Item item = std::move(items.front());
        items.pop_front();
        return item;
    }
};

ModuleCalls::ModuleCalls(kv::ConnectionWorker& worker, std::function<void(const std::string&)> show,
                         QWidget* window)
    : QObject(window),
      worker_(worker),
      show_(std::move(show)),
      mailbox_(std::make_shared<Mailbox>()) {
    mailbox_->owner = this;
    connect(this, &ModuleCalls::Arrived, this, &ModuleCalls::Deliver, Qt::QueuedConnection);
    grace_.setSingleShot(true);
    grace_.setInterval(kGraceMs);
    connect(&grace_, &QTimer::timeout, this, &ModuleCalls::Waited);
    // However a dialog closes (a button, its title bar, Escape), its call is dropped.
    if (auto* dialog = qobject_cast<QDialog*>(window))
        connect(dialog, &QDialog::finished, this, &ModuleCalls::Drop);
}

ModuleCalls::~ModuleCalls() {
    if (current_) current_->dropped = true;
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->owner = nullptr;
    mailbox_->items.clear();
}

void ModuleCalls::Guard(std::vector<QWidget*> controls) {
    for (QWidget* control : controls) guarded_.emplace_back(control);
}

void ModuleCalls::Start(Work work, std::optional<std::string> waiting) {
    auto ticket = std::make_shared<Ticket>();
    current_ = ticket;
    waiting_ = std::move(waiting);
    started_ = false;
    shownOwn_ = false;
    SetGuarded(false);
    grace_.start();
    worker_.Post([mailbox = mailbox_, ticket, work = std::move(work)](kv::Connection& connection) {
        // Dropped before its turn: nothing is sent at all.
        if (ticket->dropped.load()) return;
        using Kind = Mailbox::Kind;
        mailbox->Post({ticket, Kind::kStarted, {}, {}});
        const kv::StatusSink status = [mailbox, ticket](const std::string& text) {
            mailbox->Post({ticket, Kind::kText, text, {}});
        };
        const kv::StopAsked stopAsked = [ticket] { return ticket->dropped.load(); };
        std::function<void()> apply;
        try {
            apply = work(connection, status, stopAsked);
        } catch (...) {
            // Without an outcome the window still gets its controls back.
        }
        mailbox->Post({ticket, Kind::kFinished, {}, std::move(apply)});
    });
}

void ModuleCalls::Deliver() {
    const QPointer<ModuleCalls> alive(this);
    while (alive) {
        std::optional<Mailbox::Item> item = mailbox_->Take();
        if (!item) return;
        if (item->ticket != current_ || item->ticket->dropped.load()) continue;
        switch (item->kind) {
            case Mailbox::Kind::kStarted:
                started_ = true;
                // Slow to show anything of its own: the window says what it waits for.
                if (waiting_) grace_.start();
                break;
            case Mailbox::Kind::kText:
                shownOwn_ = true;
                grace_.stop();
                show_(item->text);
                break;
            case Mailbox::Kind::kFinished:
                Finished();
                if (item->apply) item->apply();
                break;
        }
    }
}

void ModuleCalls::Finished() {
    grace_.stop();
    current_.reset();
    SetGuarded(true);
}

void ModuleCalls::Waited() {
    if (current_ == nullptr || shownOwn_) return;
    if (!started_) {
        show_(kWaitingForEarlierCallText);
    } else if (waiting_) {
        show_(*waiting_);
    }
}

void ModuleCalls::Drop() {
    if (current_ == nullptr) return;
    current_->dropped = true;
    Finished();
}

void ModuleCalls::SetGuarded(bool enabled) {
    // Disabling the focused button moves the focus on; it comes back afterwards, so that
    // the keyboard and a screen reader stay where the operator was, unless the operator
    // has moved on meanwhile.
    QWidget* window = qobject_cast<QWidget*>(parent());
    if (!enabled) {
        hadFocus_ = nullptr;
        for (const QPointer<QWidget>& control : guarded_)
            if (control != nullptr && window != nullptr && window->focusWidget() == control)
                hadFocus_ = control;
    }
    for (const QPointer<QWidget>& control : guarded_)
        if (control != nullptr) control->setEnabled(enabled);
    if (!enabled) {
        movedTo_ = hadFocus_ != nullptr && window != nullptr ? window->focusWidget() : nullptr;
    } else if (hadFocus_ != nullptr && window != nullptr && window->focusWidget() == movedTo_) {
        hadFocus_->setFocus(Qt::OtherFocusReason);
    }
    if (enabled) hadFocus_ = movedTo_ = nullptr;
}

}  // namespace kvforms
