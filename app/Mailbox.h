#pragma once
// Calls handed from worker threads to the thread this object lives on (the UI thread), run
// there in the order they were posted. The calls wait under a lock of ours and only a
// wake-up goes through Qt's event queue, so every hand-over is one ThreadSanitizer can see
// (the locks inside Qt's libraries are invisible to it). Calls still waiting when the
// mailbox goes are dropped with it.
#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace norix::app {

class Mailbox : public QObject {
    Q_OBJECT
public:
    explicit Mailbox(QObject* parent = nullptr);
    // From any thread.
    void post(std::function<void()> call);

signals:
    void posted();

private:
    void deliver();
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace norix::app
