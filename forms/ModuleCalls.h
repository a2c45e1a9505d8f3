#pragma once

// A window's module calls, off the window's thread: each call runs on the worker of the
// windows' connection, and what it shows and gives back arrives here on the window's
// thread, in order, through a queued signal. While a call is in flight the window keeps
// repainting and answering; the controls that would start another call are disabled, and
// the status says what the window waits for when the call is slow to start or to show
// anything of its own. When the window closes (or Drop is called), the call in flight runs
// to its end on the worker, but nothing of it arrives any more; a call not yet started
// never starts.
//
// A window makes one and runs its calls through it:
//
//     calls_ = new kvforms::ModuleCalls(worker, StatusBar1->Sink(), this);
//     calls_->Guard({Button1});
//     calls_->Run(
//         [](kv::Connection& connection, const kv::StatusSink& status, const kv::StopAsked&) {
//             return kv::RestartModule(connection.Link(), status);  // on the worker
//         },
//         [this](kv::RestartOutcome outcome) { /* on the window's thread */ });
//
// The call gets nothing of the window: it works on copies it was given and returns its
// result, which `done` applies to the window.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "connection/ConnectionWorker.h"
#include "core/StatusSink.h"

class QWidget;

namespace kvforms {

// Shown when a call cannot start at once because the worker is still busy with an
// earlier one (a closed window's call, which runs to its end).
inline constexpr const char* kWaitingForEarlierCallText =
    "Čekám na odpověď modulu na předchozí požadavek…";
// What a call that shows nothing of its own offers to show while it waits.
inline constexpr const char* kWaitingForModuleText = "Čekám na odpověď modulu…";

class ModuleCalls : public QObject {
    Q_OBJECT

  public:
    // `show` puts a status text where the window shows its status. The window is the
    // parent; a dialog's closing drops the call in flight.
    ModuleCalls(kv::ConnectionWorker& worker, std::function<void(const std::string&)> show,
                QWidget* window);
    ~ModuleCalls() override;

    // The controls that start calls: disabled while one is in flight.
    void Guard(std::vector<QWidget*> controls);

    // Runs `call(connection, status, stopAsked)` on the worker; its status texts are shown
    // here as they come, then `done(result)` runs here. `waiting`, when given, is shown if
    // the call has shown nothing of its own a moment after it started.
    template <typename Call, typename Done>
    void Run(Call call, Done done, std::optional<std::string> waiting = std::nullopt);

    bool InFlight() const { return current_ != nullptr; }
    // The call in flight is the window's no more: see above.
    void Drop();

    // How long a call may take to start, or to show something, before the status says
    // that the window waits.
    static constexpr int kGraceMs = 300;

  signals:
    // Emitted on the worker's thread; received queued, on the window's.
    void Arrived();

  private:
    struct Ticket {
        std::atomic<bool> dropped{false};
    };
    struct Mailbox;
    using Work = std::function<std::function<void()>(kv::Connection&, const kv::StatusSink&,
                                                     const kv::StopAsked&)>;

    void Start(Work work, std::optional<std::string> waiting);
    void Deliver();
    void Finished();
    void Waited();
    void SetGuarded(bool enabled);

    kv::ConnectionWorker& worker_;
    std::function<void(const std::string&)> show_;
    std::shared_ptr<Mailbox> mailbox_;
    std::shared_ptr<Ticket> current_;
    std::vector<QPointer<QWidget>> guarded_;
    QPointer<QWidget> hadFocus_;
    QPointer<QWidget> movedTo_;
    QTimer grace_;
    bool started_ = false;
    bool shownOwn_ = false;
    std::optional<std::string> waiting_;
};

template <typename Call, typename Done>
void ModuleCalls::Run(Call call, Done done, std::optional<std::string> waiting) {
    using Result =
        std::invoke_result_t<Call&, kv::Connection&, const kv::StatusSink&, const kv::StopAsked&>;
    Start(
        [call = std::move(call), done = std::move(done)](
            kv::Connection& connection, const kv::StatusSink& status,
            const kv::StopAsked& stopAsked) mutable -> std::function<void()> {
            auto result = std::make_shared<Result>(call(connection, status, stopAsked));
            return [done, result] { done(std::move(*result)); };
        },
        std::move(waiting));
}

}  // namespace kvforms
