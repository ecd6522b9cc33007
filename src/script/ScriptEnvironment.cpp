#include "script/ScriptEnvironment.h"

#include "common/FileSaving.h"
#include "instrument/Instrument.h"
#include "script/ScriptThread.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>

#include <mutex>

namespace InstrumentScript {
namespace {

// Never destroyed: a script thread that outlives the exit's stop wait may still ask for them.
std::mutex& mSeamMutex = *new std::mutex;
std::shared_ptr<ScriptEnvironment>& pEnvironment = *new std::shared_ptr<ScriptEnvironment>;
std::shared_ptr<InstrumentProvider>& pProvider = *new std::shared_ptr<InstrumentProvider>;

// Runs the call on the GUI thread and waits for it; false when there is no GUI application.
template <class F> bool OnGuiThread(F call) {
    auto* pApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!pApp) return false;
    bool fResult = false;
    if (QThread::currentThread() == pApp->thread()) return call();
    QMetaObject::invokeMethod(pApp, [&] { fResult = call(); }, Qt::BlockingQueuedConnection);
    return fResult;
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
    // A stop of the script ends a save between two pieces or before the rename: the target stays.
    return fAdd ? Utility::AppendFile(sMapped, parts, sError, &fCreated)
                : Utility::SaveFile(sMapped, parts, sError, false, &fCreated, StopWord());
}

InstrumentObject InstrumentProvider::FindOrCreate(const uTaskPrepare& connection, bool& fCreated,
                                                  std::string& sError) {
    return Instrument::FindOrCreate(connection, fCreated, sError);
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
