#include "script/ScriptWait.h"

#include "common/NumberText.h"
#include "script/ScriptConvert.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptVariableText.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <limits>

namespace InstrumentScript {
namespace {

// The clock a wait counts on: the elapsed clock in nanoseconds, the local time of day and the
// date in milliseconds.
enum class eClock { Elapsed, TimeOfDay, Date };

constexpr std::int64_t NanosecondsPerMillisecond = 1000000;

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

std::int64_t SaturatingSub(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// A wait's milliseconds on the elapsed clock, held within the 64-bit range.
std::int64_t ElapsedUnits(std::int64_t iMilliseconds) {
    constexpr std::int64_t Limit = std::numeric_limits<std::int64_t>::max() / NanosecondsPerMillisecond;
    return std::clamp<std::int64_t>(iMilliseconds, -Limit, Limit) * NanosecondsPerMillisecond;
}

// Whole milliseconds of a time on the elapsed clock, rounded up: a remainder of a millisecond
// still has to be waited.
std::int64_t MillisecondsUp(std::int64_t iNanoseconds) {
    return iNanoseconds / NanosecondsPerMillisecond + (iNanoseconds % NanosecondsPerMillisecond > 0 ? 1 : 0);
}

// The local date and time as it reads, in milliseconds from 1970-01-01 00:00:00.
std::int64_t LocalDateMilliseconds(const QDateTime& now) {
    // A clock beyond the calendar's range has passed every date.
    if (!now.isValid()) return std::numeric_limits<std::int64_t>::max();
    const std::int64_t iDays = now.date().toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    return iDays * 86400000 + now.time().msecsSinceStartOfDay();
}

std::int64_t Now(eClock eOn) {
    const auto pEnvironment = Environment();
    switch (eOn) {
    case eClock::Elapsed: return pEnvironment->ElapsedTime().count();
    case eClock::TimeOfDay: return pEnvironment->LocalTime().time().msecsSinceStartOfDay();
    case eClock::Date: return LocalDateMilliseconds(pEnvironment->LocalTime());
    }
    return 0;
}

bool StopOrPause(const uScriptThread& t) { return t.fStop || t.pInstance->eState == eScriptState::Pause; }

// Sleeps until the clock reaches the target or a stop or pause ends the wait. The clock is read
// again after every sleep, so a sleep that ends early only makes another round. The clocks of
// the time of day and the date are looked at again at least once a second.
void WaitUntil(uScriptThread& t, eClock eOn, std::int64_t iTarget) {
    using std::chrono::milliseconds;
    const milliseconds longest = eOn == eClock::Elapsed ? milliseconds(3600000) : milliseconds(1000);
    for (;;) {
        {
            std::lock_guard lock(ModuleMutex());
            if (StopOrPause(t)) return;
        }
        const std::int64_t iLeft = SaturatingSub(iTarget, Now(eOn));
        if (iLeft <= 0) return;
        const std::int64_t iLeftMilliseconds = eOn == eClock::Elapsed ? MillisecondsUp(iLeft) : iLeft;
        const milliseconds sleep =
            std::clamp(Environment()->SleepTime(iLeftMilliseconds), milliseconds(0), longest);
        std::unique_lock lock(ModuleMutex());
        t.cv.wait_for(lock, sleep, [&] { return StopOrPause(t); });
    }
}

// Seconds as milliseconds, held within the 64-bit range.
std::int64_t Milliseconds(std::int64_t iSeconds) {
    constexpr std::int64_t Limit = std::numeric_limits<std::int64_t>::max() / 1000;
    return std::clamp(iSeconds, -Limit, Limit) * 1000;
}

std::string Number(std::int64_t i) { return Utility::StrDLocalized(static_cast<double>(i), -1); }

} // namespace

bool TaskFunctionWait(uScriptThread& t, uScriptTask& task, std::string&) {
    auto& w = *task.wait;
    bool fOk = false;
    std::string sText;
    std::int64_t iEnd = 0; // abs: where the wait ends on the elapsed clock
    switch (w.eWait) {
    case 0:
        fOk = w.iMilliseconds != 0;
        if (!fOk) PostMessage(t, ScriptMessageWaitUser, {});
        sText = "Warte jetzt " + Number(w.iMilliseconds) + " Millisekunden.";
        break;
    case 1: {
        // iWaitEnd is on the elapsed clock (nanoseconds); the period counts from there.
        fOk = w.iMilliseconds != 0;
        const std::int64_t iNow = Now(eClock::Elapsed);
        iEnd = SaturatingAdd(w.iWaitEnd == 0 ? iNow : w.iWaitEnd, ElapsedUnits(w.iMilliseconds));
        const std::int64_t iLeft = std::max<std::int64_t>(SaturatingSub(iEnd, iNow), 0);
        sText = "Warte jetzt noch " + Number(MillisecondsUp(iLeft)) + " Millisekunden.";
        break;
    }
    case 2:
        fOk = w.iTime != 0;
        sText = "Warte jetzt bis " + TimeOfDayText(w.iTime) + ".";
        break;
    case 3:
        fOk = w.iDate != 0;
        sText = "Warte jetzt bis " + DateTimeText(w.iDate) + ".";
        break;
    case 4:
        PostMessage(t, ScriptMessageWaitUser, TaskReplaceVariable(t, task));
        PostLine(t, task, " TaskFunctionWait - Nachricht: " + w.sMessage);
        break;
    default: break;
    }
    if (!fOk) return false;
    PostLine(t, task, " TaskFunctionWait - " + sText);
    switch (w.eWait) {
    case 0:
        WaitUntil(t, eClock::Elapsed, SaturatingAdd(Now(eClock::Elapsed), ElapsedUnits(w.iMilliseconds)));
        break;
    case 1:
        WaitUntil(t, eClock::Elapsed, iEnd);
        w.iWaitEnd = Now(eClock::Elapsed);
        break;
    case 2: WaitUntil(t, eClock::TimeOfDay, Milliseconds(w.iTime)); break;
    case 3: WaitUntil(t, eClock::Date, Milliseconds(w.iDate)); break;
    default: break;
    }
    return true;
}

bool TaskFunctionBeep(uScriptThread& t, uScriptTask& task, std::string&) {
    PostLine(t, task, " TaskFunctionBeep - Parameter: " + std::to_string(task.beep->eMessageBeep));
    Environment()->Beep(task.beep->eMessageBeep);
    return true;
}

} // namespace InstrumentScript
