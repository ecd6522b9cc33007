#include "script/ScriptTask.h"

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

namespace InstrumentScript {

void IndexProgram(uScriptProgram& program) {
    std::int64_t iPosition = 0;
    program.mLabels.clear();
    program.mVariables.clear();
    program.mInstruments.clear();
    program.mOrder.clear();
    program.mOrder.reserve(program.mTasks.size());
    std::set<std::size_t, std::greater<>> lengths;
    for (uScriptTask& task : program.mTasks) {
        task.iPosition = iPosition++;
        program.mOrder.push_back(&task);
        const uScriptTask& t = task; // reads only: a part the task does not use stays unmade
        switch (t.eTaskType) {
        case eScriptTaskType::Label: program.mLabels.emplace(t.label->Name, &task); break;
        case eScriptTaskType::Variable:
            if (t.variable->Name.empty()) break;
            program.mVariables.emplace(t.variable->Name, &task);
            lengths.insert(t.variable->Name.size());
            break;
        case eScriptTaskType::Instrument:
            if (!t.instrument->Name.empty()) program.mInstruments[t.instrument->Name].push_back(&task);
            break;
        default: break;
        }
    }
    program.mVariableNameLengths.assign(lengths.begin(), lengths.end());
    std::int64_t iLast = 0;
    for (const uScriptLine& line : program.mScriptLines) iLast = std::max(iLast, line.iLine);
    program.mScriptLineIndex.assign(static_cast<std::size_t>(iLast) + 1, 0);
    for (std::size_t i = 0; i < program.mScriptLines.size(); ++i) {
        const std::int64_t iLine = program.mScriptLines[i].iLine;
        if (iLine > 0 && program.mScriptLineIndex[static_cast<std::size_t>(iLine)] == 0)
            program.mScriptLineIndex[static_cast<std::size_t>(iLine)] = i + 1;
    }
}

uScriptTask* NextTask(const uScriptProgram& program, const uScriptTask& task) {
    const auto iNext = static_cast<std::size_t>(task.iPosition) + 1;
    return iNext < program.mOrder.size() ? program.mOrder[iNext] : nullptr;
}

void ResetVariable(uScriptTask& task) {
    if (std::as_const(task).variable->Type == eVariableType::None) return; // no variable: nothing is made
    uScriptVariable& v = *task.variable;
    switch (v.Type) {
    case eVariableType::Boolean: v.Boolean = 0; break;
    case eVariableType::Integer: v.Integer = 0; break;
    case eVariableType::Float: v.Float = 0.0; break;
    case eVariableType::String: v.String.clear(); v.String.shrink_to_fit(); break;
    case eVariableType::Data: v.Data.release(); break;
    case eVariableType::Image: v.Image = QImage(); break;
    case eVariableType::Waveform: v.Waveform.reset(); break;
    case eVariableType::None: break;
    }
}

void FreeVariableMemory(uScriptProgram& program) {
    for (uScriptTask& task : program.mTasks) {
        const eVariableType eType = std::as_const(task).variable->Type;
        if (eType == eVariableType::Data || eType == eVariableType::Image || eType == eVariableType::Waveform)
            ResetVariable(task);
    }
}

} // namespace InstrumentScript
