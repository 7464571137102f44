// The GUI-thread loop on Qt's event loop: a wake-up is one posted event to a
// receiver object, timers are QTimers.
#include "ui/Controls_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>

namespace {

const QEvent::Type CDispatchEvent = static_cast<QEvent::Type>(QEvent::User + 0x5350);

class TQtTimer : public TTimerImpl {
public:
    explicit TQtTimer(std::function<void()> AOnFire) {
        FTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&FTimer, &QTimer::timeout, [LFire = std::move(AOnFire)] { LFire(); });
    }
    void Start(uint32_t AIntervalMs) override { FTimer.start(static_cast<int>(AIntervalMs)); }
    void Stop() override { FTimer.stop(); }

private:
    QTimer FTimer;
};

class TQtLoop : public TMessageLoop {
public:
    TQtLoop() : FReceiver(std::make_unique<TReceiver>(*this)) {}
    ~TQtLoop() override {
        Shutdown();
        // Deleting the receiver drops the wake-up events still posted to it.
        FReceiver.reset();
    }

    std::unique_ptr<TTimerImpl> CreateTimerImpl(std::function<void()> AOnFire) override {
        return std::make_unique<TQtTimer>(std::move(AOnFire));
    }

protected:
    void Wake() override {
        // One wake-up event at a time is enough: it dispatches all that is
        // queued by then, and a later post wakes again.
        if (!FWakePending.exchange(true, std::memory_order_acq_rel))
            QCoreApplication::postEvent(FReceiver.get(), new QEvent(CDispatchEvent));
    }

    void PumpOnce(bool AWait, uint32_t AMaxWaitMs) override {
        if (!AWait) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            return;
        }
        QTimer LLimit;
        LLimit.setSingleShot(true);
        LLimit.setTimerType(Qt::PreciseTimer);
        LLimit.start(static_cast<int>(AMaxWaitMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }

private:
    class TReceiver : public QObject {
    public:
        explicit TReceiver(TQtLoop& ALoop) : FLoop(ALoop) {}
        bool event(QEvent* AEvent) override {
            if (AEvent->type() != CDispatchEvent)
                return QObject::event(AEvent);
            FLoop.FWakePending.store(false, std::memory_order_release);
            FLoop.DispatchPosted();
            return true;
        }

    private:
        TQtLoop& FLoop;
    };

    std::atomic<bool> FWakePending{false};
    std::unique_ptr<TReceiver> FReceiver;
};

} // namespace

std::unique_ptr<TMessageLoop> CreateQtMessageLoop() {
    return std::make_unique<TQtLoop>();
}
