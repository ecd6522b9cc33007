// The records of a parsed script: one task per declaration or statement (variables, labels,
// constants and instrument declarations are tasks too, and a variable's value lives in its own
// task), the lines of the script and constants texts, and the program that holds them.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/InstrumentObject.h"
#include "instrument/WaveformRead.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <memory_resource>
#include <string>
#include <unordered_map>
#include <vector>

namespace InstrumentScript {

enum class eScriptTaskType : std::int64_t {
    None = 0,
    Script = 1,
    Constant = 3,
    Variable = 4,
    VariableInstruction = 5,
    VariableCompare = 6,
    VariableAdd = 7,
    VariableMath = 8,
    VariableSet = 9,
    Instrument = 10,
    InstrumentSelect = 11,
    InstrumentSet = 12,
    Label = 13,
    Goto = 14,
    False = 15,
    True = 16,
    Function = 17,
    FunctionBeep = 18,
    FunctionClipboard = 19,
    FunctionRemove = 20,
    FunctionReplace = 21,
    FunctionSave = 22,
    FunctionScpi = 23,
    FunctionScreencopy = 25,
    FunctionWaveform = 26,
    FunctionView = 27,
    FunctionWait = 28,
};
inline constexpr std::int64_t ScriptTaskTypeCount = 29;

enum class eVariableType : std::int64_t {
    None = 0,
    Image = 1,
    Boolean = 2,
    Data = 3,
    Float = 4,
    Integer = 5,
    String = 6,
    Waveform = 7,
};

// Where a line or task comes from.
enum eLineSource : std::int64_t {
    LineSourceNone = 0, // the Script task
    LineSourceConstants = 2,
    LineSourceScript = 3,
};

struct uScriptTask;

// The value of a Variable task. Data holds no block when it has no bytes; Image is null and
// Waveform empty when the variable holds nothing.
struct uScriptVariable {
    eVariableType Type = eVariableType::None;
    std::string Name;
    std::int64_t Boolean = 0;
    std::int64_t Integer = 0;
    double Float = 0.0;
    std::string String;
    DataBuffer Data;
    QImage Image;
    std::unique_ptr<uWaveformData> Waveform;
};

// The words of a line kept for the linking pass: VariableInstruction, True, False and Function.
struct uScriptInstruction {
    std::string Name;
    std::string Instruction;
    std::string Parameter;
};

// The operand of set, add, math and compare: a literal, a file or another variable.
struct uScriptOperand {
    std::string sValue;
    std::int64_t fFile = 0;
    std::string sFile;
    uScriptTask* pAddress = nullptr; // the operand's Variable task; nullptr for a literal
};

struct uScriptInstrument {
    std::int64_t InterfaceType = 0; // 1 usbtmc, 2 vxi, 3 rawtcp, 4 serial
    std::string Name;
    InstrumentObject pInstrument; // set when the task has run
    bool fCreatedUnconnected = false; // the run created pInstrument, which has not connected yet
    std::int64_t fWaitForConnect = 0;
    std::string VID, PID, SerialNumber;
    std::int64_t eScpiWait = 0; // 0 none, 1 status byte MAV, 2 service request
    std::string VxiIpAddress, VxiPort, VxiLocalIpAddress;
    std::string RawTcpIpAddress, RawTcpPort, RawTcpLocalIpAddress;
    std::string SerialPort, SerialBaud, SerialDataBits, SerialStopBits, SerialParity, SerialFlowControl;
    std::int64_t iScpiDelay = 0;
};

struct uScriptRemove {
    std::int64_t eRemove = 0; // 0 none, 1 block, 2 first, 3 last
    std::int64_t iNumber = 0;
};

// A part of a task that only tasks of some types use. It is made on first use through a
// non-const task and reads as empty (default values) through a const one until then: most
// tasks use one part, so a task stays small and a long script's list stays in the caches.
// The parser makes the parts its tasks use; the interpreter only reads and writes those.
template <class T>
class uTaskPart {
  public:
    T* operator->() { return &Get(); }
    const T* operator->() const { return p ? p.get() : &Empty(); }
    T& operator*() { return Get(); }
    const T& operator*() const { return *operator->(); }

  private:
    T& Get() {
        if (!p) p = std::make_unique<T>();
        return *p;
    }
    static const T& Empty() {
        static const T empty{};
        return empty;
    }
    std::unique_ptr<T> p;
};

struct uScriptSource {
    std::string sScript;
    std::string sConstants;
};
struct uScriptConstant {
    std::string Name;
    std::string Value;
};
struct uScriptMath {
    std::int64_t eMath = 0; // 1 sub, 2 mul, 3 div, 4 crc16ccitt
    uScriptOperand operand; // pAddress is pSubAddress
};
struct uScriptCompare {
    std::int64_t eCompare = 0; // 1 equal, 2 greater, 3 less
    uScriptOperand operand;    // pAddress is pCompareAddress
};
struct uScriptName {
    std::string Name;
};
struct uScriptSetting {
    std::string Name, Setting, Value, Value2;
};
struct uScriptJump {
    std::string Name;
    uScriptTask* pLabel = nullptr; // the label task, linked by the parser
};
struct uScriptBeep {
    std::int64_t eMessageBeep = 0;
};
struct uScriptRemoveParameters {
    std::string sParameter;
    std::array<uScriptRemove, 3> aRemove{};
};
struct uScriptReplace {
    std::string sParameter, sSearch;
    std::int64_t fSearchBytes = 0;
    std::string sReplacement;
    std::int64_t fReplacementBytes = 0;
    std::int64_t iCount = 0;
};
struct uScriptSave {
    std::string sFilepath, sParameter;
};
struct uScriptScpi {
    std::int64_t fRead = 0;
    std::string sCommand;
};
struct uScriptCaptureParameters {
    std::string sParameter;
};
struct uScriptWait {
    std::int64_t eWait = 0; // 0 milliseconds, 1 abs, 2 time, 3 date, 4 msg
    std::int64_t iMilliseconds = 0;
    std::int64_t iWaitEnd = 0; // abs: the elapsed clock (ns) at the end of the line's last wait; 0 before
    std::int64_t iTime = 0;
    std::int64_t iDate = 0;
    std::string sMessage;
};

// One task of a parsed script: the head and the part of its own type (the others stay unmade).
// References point into the same task list and own nothing.
struct uScriptTask {
    eScriptTaskType eTaskType = eScriptTaskType::None;
    std::int64_t eLineSource = LineSourceNone;
    std::int64_t iLine = 0;
    std::int64_t fParsed = 0;
    std::int64_t Execute = 0;
    uScriptTask* pInstructionAddress = nullptr;
    uScriptTask* pParentAddress = nullptr;
    std::int64_t iPosition = 0; // position in the task list, from 0 (set by IndexProgram)

    uTaskPart<uScriptVariable> variable; // a Variable task's value
    uTaskPart<uScriptSource> script;
    uTaskPart<uScriptConstant> constant;
    uTaskPart<uScriptInstruction> instruction; // VariableInstruction, True, False, Function
    uTaskPart<uScriptOperand> add;              // VariableAdd: pAddress is pAddAddress
    uTaskPart<uScriptMath> math;
    uTaskPart<uScriptOperand> set; // VariableSet: pAddress is pSetAddress
    uTaskPart<uScriptCompare> compare;
    uTaskPart<uScriptInstrument> instrument;
    uTaskPart<uScriptName> select;
    uTaskPart<uScriptSetting> setting;
    uTaskPart<uScriptName> label;
    uTaskPart<uScriptJump> jump;
    uTaskPart<uScriptBeep> beep;
    uTaskPart<uScriptRemoveParameters> remove;
    uTaskPart<uScriptReplace> replace;
    uTaskPart<uScriptSave> save;
    uTaskPart<uScriptScpi> scpi;
    uTaskPart<uScriptCaptureParameters> screencopy, waveform;
    uTaskPart<uScriptWait> wait;
};

// One line of the script or constants text; iLine counts from 1, empty and comment lines too.
struct uScriptLine {
    std::int64_t eLineSource = LineSourceNone;
    std::string sText;
    std::int64_t iLine = 0;
    std::int64_t fParsed = 0;
};

// What one parse produced: the task list (node addresses stay valid while it lives), the lines
// of both texts and the look-ups kept beside the list.
struct uScriptProgram {
    // The task list's nodes lie together in memory of the program's own, released with it; its
    // first block holds the expected number of tasks (a long script's list then spans a few
    // large pages instead of thousands of small ones, and its walks do not slow with its length).
    explicit uScriptProgram(std::size_t iTasksExpected = 1);
    uScriptProgram(const uScriptProgram&) = delete;
    uScriptProgram& operator=(const uScriptProgram&) = delete;

    std::pmr::monotonic_buffer_resource mTaskMemory; // before mTasks: it outlives the nodes
    std::pmr::list<uScriptTask> mTasks;
    std::vector<uScriptLine> mScriptLines;
    std::vector<uScriptLine> mConstantLines;
    // iLine -> 1 + index into mScriptLines of the first line with that number, 0 for none.
    std::vector<std::size_t> mScriptLineIndex;
    // The tasks in list order (mOrder[i]->iPosition == i).
    std::vector<uScriptTask*> mOrder;
    // Label name as written -> its Label task (the first one of that name).
    std::unordered_map<std::string, uScriptTask*> mLabels;
    // Variable name -> its Variable task (the first one of that name), and the lengths of the
    // names, each once, longest first: texts look their variables up without a walk of the list.
    std::unordered_map<std::string, uScriptTask*> mVariables;
    std::vector<std::size_t> mVariableNameLengths;
    // Instrument name -> the Instrument tasks of that name, in list order.
    std::unordered_map<std::string, std::vector<uScriptTask*>> mInstruments;
};

// Numbers the tasks by position and fills the line, order, label, variable and instrument look-ups.
void IndexProgram(uScriptProgram& program);

// The task behind the given one in list order, nullptr at the end.
uScriptTask* NextTask(const uScriptProgram& program, const uScriptTask& task);

// Gives the variable of the task the reset value of its type; a task that is no Variable task
// has type None and keeps everything.
void ResetVariable(uScriptTask& task);

// Releases the Data, Image and Waveform values of every variable; the other values stay.
void FreeVariableMemory(uScriptProgram& program);

} // namespace InstrumentScript
