// Shared pieces of the search tests: a recorder of what reaches the search window (task
// results and the end event) and of the error lines posted to the log, and the instrument
// list as the tests look at it.
#pragma once

#include "instrument/InstrumentObject.h"
#include "platform/EventHub.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace SearchSupport {

// A QApplication, a fresh event hub, the hidden log window, and an empty instrument list.
// Call it from the test's main thread before any search runs.
void Start();

// Releases every listed instrument.
void ReleaseAll();

// Records what reaches the window and the log (GUI thread).
class Recorder {
  public:
    explicit Recorder(int iWindow);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Delivers events until the condition holds; false after iMs (a guard against hangs only).
    bool WaitFor(const std::function<bool()>& condition, int iMs = 30000);
    // Until the given number of end events arrived.
    bool WaitForEnds(int iCount = 1, int iMs = 30000);
    // Until the search chain of each object has ended: type 5, or an error of its connect or
    // disconnect.
    bool WaitForChains(const std::vector<InstrumentObject>& objects, int iMs = 30000);

    int Ends() const { return static_cast<int>(mEnds.size()); }
    const std::vector<EventHub::uEvent>& EndEvents() const { return mEnds; }
    std::vector<EventHub::uEvent> Tasks(std::int64_t eType) const;
    // Task events of one object.
    std::vector<EventHub::uEvent> TasksOf(const InstrumentObject& object) const;
    // The error records of the type 1 events of one object ("procedure | text"), in order.
    std::vector<std::string> ErrorsOf(const InstrumentObject& object) const;
    // The error lines posted to the log, in order.
    const std::vector<std::string>& LogLines() const { return mLog; }
    // How many log lines begin with the text.
    int CountLog(const std::string& sStart) const;

  private:
    int iWindow;
    int iLogWindow;
    std::vector<EventHub::uEvent> mTasks;
    std::vector<std::string> mErrors; // per task event: its error record, or empty
    std::vector<EventHub::uEvent> mEnds;
    std::vector<std::string> mLog;
    std::function<void()> fnDelivered;
    void Delivered();
};

// The listed objects and the description of each (what GetInfo reports).
std::vector<InstrumentObject> Listed();
uInfo InfoOf(const InstrumentObject& object);

} // namespace SearchSupport
