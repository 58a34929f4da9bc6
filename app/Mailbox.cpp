#include "app/Mailbox.h"

namespace norix::app {

Mailbox::Mailbox(QObject* parent) : QObject(parent) {
    connect(this, &Mailbox::posted, this, &Mailbox::deliver, Qt::QueuedConnection);
}

void Mailbox::post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    emit posted();
}

// One call per wake-up, like any queued event: a call that closes what owns the mailbox
// drops the rest with it.
void Mailbox::deliver() {
    std::function<void()> call;
    {
        std::lock_guard lock(mutex_);
        if (calls_.empty()) return;
        call = std::move(calls_.front());
        calls_.pop_front();
    }
    call();
}

}  // namespace norix::app
