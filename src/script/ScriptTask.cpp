#include "script/ScriptTask.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <set>
#include <utility>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define ORVANTO_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANTO_LEAK_CHECKER 1
#endif
#endif
#if defined(ORVANTO_LEAK_CHECKER)
#include <sanitizer/lsan_interface.h>
#endif

namespace InstrumentScript {
namespace {

// A sanitizer build's leak checker looks through the heap, not through mappings of the program's
// own: a mapped block is shown to it while it lives, or the parts its tasks own would be taken
// for leaks whenever a leak check finds a large program alive (one that a script thread still
// frees after the exit's wait).
void ShowToLeakChecker([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t iLength, [[maybe_unused]] bool fShow) {
#if defined(ORVANTO_LEAK_CHECKER)
    if (fShow) __lsan_register_root_region(p, iLength);
    else __lsan_unregister_root_region(p, iLength);
#endif
}

// Blocks of a task list's memory: from 2 MiB on fresh mappings aligned to the large page size
// and marked for large pages (memory the heap has used before already has small pages); smaller
// blocks come from the heap.
class uTaskBlocks final : public std::pmr::memory_resource {
    static constexpr std::size_t LargePage = std::size_t{2} << 20;
    static std::size_t Rounded(std::size_t iBytes) { return (iBytes + LargePage - 1) & ~(LargePage - 1); }

    void* do_allocate(std::size_t iBytes, std::size_t iAlignment) override {
        if (iBytes < LargePage) return ::operator new(iBytes, std::align_val_t(iAlignment));
        // One large page more is mapped, and cut off again around the aligned start.
        const std::size_t iLength = Rounded(iBytes);
        void* p = mmap(nullptr, iLength + LargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        const auto iMapped = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t iStart = (iMapped + LargePage - 1) & ~(LargePage - 1);
        if (iStart > iMapped) munmap(p, iStart - iMapped);
        munmap(reinterpret_cast<void*>(iStart + iLength), iMapped + LargePage - iStart);
        madvise(reinterpret_cast<void*>(iStart), iLength, MADV_HUGEPAGE); // a hint: small pages serve as well
        ShowToLeakChecker(reinterpret_cast<void*>(iStart), iLength, true);
        return reinterpret_cast<void*>(iStart);
    }
    void do_deallocate(void* p, std::size_t iBytes, std::size_t iAlignment) override {
        if (iBytes < LargePage) return ::operator delete(p, iBytes, std::align_val_t(iAlignment));
        ShowToLeakChecker(p, Rounded(iBytes), false);
        munmap(p, Rounded(iBytes));
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
};

// Never destroyed: a script thread that outlives the exit's wait frees its program, and gives the
// blocks back here, after the program's statics are gone.
std::pmr::memory_resource* TaskBlocks() {
    static auto* blocks = new uTaskBlocks;
    return blocks;
}

// A node of the task list: the task and the list's two links.
constexpr std::size_t TaskNodeBytes = sizeof(uScriptTask) + 2 * sizeof(void*);

} // namespace

uScriptProgram::uScriptProgram(std::size_t iTasksExpected)
    : mTaskMemory(std::max<std::size_t>(iTasksExpected, 1) * TaskNodeBytes, TaskBlocks()), mTasks(&mTaskMemory) {}

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
