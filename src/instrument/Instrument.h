// The instrument objects and the instrument list: every instrument the program knows of (found
// by the search, added by hand, opened by a script) is one shared object, listed once in
// creation order. Also the instrument's picture and window icon by model.
//
// The list has its own mutex, which lives as long as the program. Lock order: this mutex, then
// the instances' mutex (FindExisting asks each object's GetInfo while it holds the list).
#pragma once

#include "instrument/ConnectionDescription.h"
#include "instrument/InstrumentObject.h"

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace Instrument {

// Makes the module ready; true once it is. Called at start-up and by Create.
bool InitModuleInstrument(std::string& sError);

// A new object with its instance, appended to the list; nullptr on failure.
InstrumentObject Create(std::string& sError);

// Takes the object off the list and deletes its instance (its worker thread ends). The object
// itself lives on while anyone still holds it; its operations then fail as for a deleted
// instance. Returns the result of DeleteInstance; false when the object is not listed.
bool Release(const InstrumentObject& object, std::string& sError);

// Whether the object is connected or held: a lost instrument stays its holders' until they let
// go, so it is not free for another main window or a release.
bool InUse(const InstrumentObject& object);

// Releases the listed objects that are not in use (or all, with fAll) and, when eProtocol is not
// 0, only those of that protocol (an object whose description cannot be read counts as of every
// protocol). False only when the module was never made ready.
bool ReleaseAll(bool fAll, std::int64_t eProtocol, std::string& sError);

// The listed object with the same connection identity as the candidate, or nullptr.
InstrumentObject FindExisting(const uTaskPrepare& candidate);

// The listed object with the candidate's connection identity, or else a new one, in one step
// under the list's mutex: two callers with the same identity get the same object. A new object
// carries the candidate as its description from the start, so that it is found again before its
// prepare task has run; fCreated tells that the caller is to queue that task. nullptr (with
// sError) when no object could be made.
InstrumentObject FindOrCreate(const uTaskPrepare& candidate, bool& fCreated, std::string& sError);

// Whether a listed instrument's description and a candidate's name the same instrument.
bool SameInstrument(const uTaskPrepare& listed, const uTaskPrepare& candidate);

// Replaces the caller's list with the listed objects; false (the list untouched) when the
// module was never made ready.
bool CopyInstrumentList(std::vector<InstrumentObject>& list);

// A new image with the model's picture; a null image for a model without one.
QImage DrawModelPicture(std::int64_t eModel, int iWidth, int iHeight);

// The ICO file of the model's window icon, small or large; empty when it cannot be built.
std::vector<std::uint8_t> CreateIcon(std::int64_t eModel, bool fLarge);

// The icon's side in pixels for a desktop scale factor (1.0 = 100 %).
int IconSize(double dScale, bool fLarge);

// Logical pixels scaled to the desktop.
int ScaleToDesktop(int iPixels);

} // namespace Instrument
