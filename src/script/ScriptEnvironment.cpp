#include "script/ScriptEnvironment.h"

#include "common/FileSaving.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "script/ScriptThread.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace InstrumentScript {
namespace {

// Never destroyed: a script thread that outlives the exit's stop wait may still ask for them.
std::mutex& mSeamMutex = *new std::mutex;
std::shared_ptr<ScriptEnvironment>& pEnvironment = *new std::shared_ptr<ScriptEnvironment>;
std::shared_ptr<InstrumentProvider>& pProvider = *new std::shared_ptr<InstrumentProvider>;

// A call handed to the GUI thread, and the script thread that waits for it.
struct uGuiCall {
    enum class eState { Waiting, Running, Done, GivenUp };
    std::mutex mutex;
    std::condition_variable cv;
    eState state = eState::Waiting;
    bool fResult = false;
};

// How often a script thread that waits for the GUI thread looks at its stop flag.
constexpr auto StopLookInterval = std::chrono::milliseconds(5);

// Runs the call on the GUI thread and waits for it; false without a GUI application. On a
// script's thread a stop ends the wait: the GUI thread may itself wait for the script (the
// program's exit, which then need not wait out its bound), and a call that has not begun by
// then is never made. One that has begun is short and is waited for, since it uses the caller's
// values.
template <class F> bool OnGuiThread(F call) {
    if (!StopWord()) { // not a script's thread: the GUI thread itself
        auto* pApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        return pApp && QThread::currentThread() == pApp->thread() && call();
    }
    if (StopAsked()) return false;
    using eState = uGuiCall::eState;
    auto pCall = std::make_shared<uGuiCall>();
    const bool fPosted = EventHub::PostCall([pCall, &call] {
        {
            std::lock_guard lock(pCall->mutex);
            if (pCall->state != eState::Waiting) return; // the script has stopped waiting
            pCall->state = eState::Running;
        }
        // Done even when the call ends by an exception (a failed allocation).
        struct uDone {
            uGuiCall& c;
            bool fResult = false;
            ~uDone() {
                std::lock_guard lock(c.mutex);
                c.fResult = fResult;
                c.state = eState::Done;
                c.cv.notify_all();
            }
        } done{*pCall};
        done.fResult = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && call();
    });
    if (!fPosted) return false;
    std::unique_lock lock(pCall->mutex);
    while (pCall->state != eState::Done) {
        if (pCall->state == eState::Waiting && StopAsked()) {
            pCall->state = eState::GivenUp;
            return false;
        }
        pCall->cv.wait_for(lock, StopLookInterval);
    }
    return pCall->fResult;
}

} // namespace

std::chrono::nanoseconds ScriptEnvironment::ElapsedTime() {
    static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return std::chrono::steady_clock::now() - start;
}

std::int64_t ScriptEnvironment::ElapsedMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(ElapsedTime()).count();
}

std::size_t ScriptEnvironment::ValueLimit() { return DefaultValueLimit; }

QDateTime ScriptEnvironment::LocalTime() { return QDateTime::currentDateTime(); }

std::chrono::milliseconds ScriptEnvironment::SleepTime(std::int64_t iMilliseconds) {
    return std::chrono::milliseconds(iMilliseconds < 0 ? 0 : iMilliseconds);
}

bool ScriptEnvironment::Beep(std::int64_t) {
    // Linux has one system sound for every type. The script does not wait for it.
    auto* pApp = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!pApp) return false;
    QMetaObject::invokeMethod(pApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
    return true;
}

bool ScriptEnvironment::SetClipboardText(const std::string& sText) {
    return OnGuiThread([&] {
        QGuiApplication::clipboard()->setText(QString::fromStdString(sText));
        return true;
    });
}

bool ScriptEnvironment::SetClipboardImage(const QImage& image) {
    return OnGuiThread([&] {
        QGuiApplication::clipboard()->setImage(image);
        return true;
    });
}

bool ScriptEnvironment::MapFilePath(const std::string& sPath, std::string& sMapped, std::string&) {
    sMapped = sPath;
    return true;
}

bool ScriptEnvironment::WriteFile(const std::string& sMapped, std::span<const std::string_view> parts,
                                  bool fAdd, bool& fCreated, std::string& sError) {
    // A stop of the script ends a save between two pieces or before the rename, and an add's wait
    // for its turn on the file: the target stays.
    return fAdd ? Utility::AppendFile(sMapped, parts, sError, &fCreated, StopWord())
                : Utility::SaveFile(sMapped, parts, sError, false, &fCreated, StopWord());
}

InstrumentObject InstrumentProvider::FindOrCreate(const uTaskPrepare& connection, bool& fCreated,
                                                  std::string& sError) {
    return Instrument::FindOrCreate(connection, fCreated, sError);
}

bool InstrumentProvider::ReleaseUnused(const InstrumentObject& object) {
    std::string sIgnored;
    return !Instrument::InUse(object) && Instrument::Release(object, sIgnored);
}

std::shared_ptr<ScriptEnvironment> Environment() {
    std::lock_guard lock(mSeamMutex);
    if (!pEnvironment) pEnvironment = std::make_shared<ScriptEnvironment>();
    return pEnvironment;
}

void SetEnvironment(std::shared_ptr<ScriptEnvironment> p) {
    std::lock_guard lock(mSeamMutex);
    pEnvironment = std::move(p);
}

std::shared_ptr<InstrumentProvider> Instruments() {
    std::lock_guard lock(mSeamMutex);
    if (!pProvider) pProvider = std::make_shared<InstrumentProvider>();
    return pProvider;
}

void SetInstrumentProvider(std::shared_ptr<InstrumentProvider> p) {
    std::lock_guard lock(mSeamMutex);
    pProvider = std::move(p);
}

} // namespace InstrumentScript
