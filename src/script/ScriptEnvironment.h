// What the script engine takes from its surroundings, behind two replaceable seams: the
// environment (clocks, waits, beeps, clipboard, file paths) and the instrument provider (how a
// declared instrument is found or made). The program uses the defaults; tests install their own.
#pragma once

#include "instrument/ConnectionDescription.h"
#include "instrument/InstrumentObject.h"

#include <QDateTime>
#include <QImage>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace InstrumentScript {

class ScriptEnvironment {
  public:
    virtual ~ScriptEnvironment() = default;
    // The elapsed clock: monotonic, never set back, counted from an arbitrary start.
    virtual std::chrono::nanoseconds ElapsedTime();
    // The elapsed clock in whole milliseconds (rounded down).
    std::int64_t ElapsedMilliseconds();
    // The local date and time.
    virtual QDateTime LocalTime();
    // How long a script wait of iMilliseconds really waits (a fast clock shortens it and moves
    // its own time on by iMilliseconds).
    virtual std::chrono::milliseconds SleepTime(std::int64_t iMilliseconds);
    // A system sound by its beep type, posted to the GUI thread; false without a GUI.
    virtual bool Beep(std::int64_t eType);
    virtual bool SetClipboardText(const std::string& sText);
    virtual bool SetClipboardImage(const QImage& image);
    // The path a script's file name stands for; false with a message when it may not be used.
    virtual bool MapFilePath(const std::string& sPath, std::string& sMapped, std::string& sError);
    // Writes a save statement's bytes to a mapped path, whole or not at all (add: at the end of
    // the file); false with the system's reason, fCreated false when the file was not even made.
    virtual bool WriteFile(const std::string& sMapped, std::span<const std::string_view> parts, bool fAdd,
                           bool& fCreated, std::string& sError);
    // The most bytes a String or Data variable may hold (DefaultValueLimit).
    virtual std::size_t ValueLimit();
};

// One ceiling per variable, the same on every machine, so that a script that runs on one runs
// on another: far above the largest trace or screen an instrument sends, and low enough that
// a value growing in a loop is stopped with a script error while the program still has memory
// (the last doubling briefly needs the old text, its copy and the new one: three times this).
inline constexpr std::size_t DefaultValueLimit = std::size_t{1} << 30;

class InstrumentProvider {
  public:
    virtual ~InstrumentProvider() = default;
    // The listed instrument with the connection's identity, or a new one (fCreated set).
    virtual InstrumentObject FindOrCreate(const uTaskPrepare& connection, bool& fCreated, std::string& sError);
    // Takes the object off the list unless it is in use (connected or held); whether it went.
    virtual bool ReleaseUnused(const InstrumentObject& object);
};

// The installed seams (the defaults until replaced); nullptr restores the default.
std::shared_ptr<ScriptEnvironment> Environment();
void SetEnvironment(std::shared_ptr<ScriptEnvironment> pEnvironment);
std::shared_ptr<InstrumentProvider> Instruments();
void SetInstrumentProvider(std::shared_ptr<InstrumentProvider> pProvider);

} // namespace InstrumentScript
