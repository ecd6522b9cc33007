// The instrument object: what windows, the search and the script hold of an instrument. It
// carries the method table through which every one of them reaches the instrument, and the
// instance number used in messages. Objects are shared: whoever holds one keeps it valid, even
// after the instrument list has let it go.
#pragma once

#include "instrument/ConnectionDescription.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class InstrumentInterface;

struct uInstrumentObject : std::enable_shared_from_this<uInstrumentObject> {
    InstrumentInterface* pInterface = nullptr;   // one table for all objects
    std::atomic<std::int64_t> iInstanceNumber{0}; // from 1 upward; 0 = no instance
};

using InstrumentObject = std::shared_ptr<uInstrumentObject>;

// What GetInfo reports: the connection description that the prepare task stored and the
// identification read so far.
struct uInfo {
    uTaskPrepare connection;
    uIdn idn;
};

// The kinds of GetIcon.
enum eIconKind : int {
    IconKindPicture = 1, // the picture of the instrument list, 128 x 96 scaled to the desktop
    IconKindSmall = 2,   // small window icon
    IconKindLarge = 3,   // large window icon
};

// GetIcon's result: the picture (kind 1) or the ICO file of a window icon (kinds 2 and 3).
struct uInstrumentIcon {
    QImage picture;
    std::vector<std::uint8_t> iconFile;
    bool empty() const { return picture.isNull() && iconFile.empty(); }
};

// The method table. Every operation that can fail writes "Module::Procedure: message" into
// sError and returns false, 0 or an empty result.
class InstrumentInterface {
  public:
    virtual uInstrumentIcon GetIcon(uInstrumentObject& object, int eIconKind, std::string& sError) = 0;
    virtual bool GetInfo(uInstrumentObject& object, uInfo& info, std::string& sError) = 0;
    // The connected flag; false when the instance does not exist. No error text.
    virtual bool IsConnected(uInstrumentObject& object) = 0;
    // Queues a deep copy of the task; returns its task number (never 0), or 0 on failure.
    virtual std::int64_t AddTask(uInstrumentObject& object, const uTask& task, std::string& sError) = 0;
    virtual bool NewInstance(uInstrumentObject& object, std::string& sError) = 0;
    // Ends the worker thread (500 ms grace) and frees the instance.
    virtual bool DeleteInstance(uInstrumentObject& object, std::string& sError) = 0;

  protected:
    ~InstrumentInterface() = default;
};
