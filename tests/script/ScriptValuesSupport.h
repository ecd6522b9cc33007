// Shared by the tests of set, add, compare and math: scripts run one after another on one
// instance; "function beep" takes a snapshot of every variable (Data and Image values are
// released when a run ends) and of the last comparison, under the name "?".
#pragma once

#include "ScriptEngineFixture.h"

#include "script/ScriptConvert.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

namespace ScriptTest {

inline std::string Hex(std::string_view bytes) {
    std::string s;
    char a[4];
    for (unsigned char c : bytes) {
        std::snprintf(a, sizeof a, "%02X", c);
        s += a;
    }
    return s;
}

// Booleans true/false, floats in the plain form, data in hex, images as WxH, waveforms by
// their model number; "-" for an empty data, image or waveform.
inline std::string Render(const InstrumentScript::uScriptVariable& v) {
    using InstrumentScript::eVariableType;
    switch (v.Type) {
    case eVariableType::Boolean: return v.Boolean ? "true" : "false";
    case eVariableType::Integer: return std::to_string(v.Integer);
    case eVariableType::Float: return InstrumentScript::FloatToPlainText(v.Float);
    case eVariableType::String: return v.String;
    case eVariableType::Data: return v.Data.empty() ? "-" : Hex(v.Data.view());
    case eVariableType::Image:
        return v.Image.isNull() ? "-" : std::to_string(v.Image.width()) + "x" + std::to_string(v.Image.height());
    case eVariableType::Waveform: return v.Waveform ? "model " + std::to_string(v.Waveform->eModel) : "-";
    default: return {};
    }
}

inline std::map<std::string, std::string>& Snapshot() {
    static std::map<std::string, std::string> m;
    return m;
}

inline bool SnapshotExecutor(InstrumentScript::uScriptThread& t, InstrumentScript::uScriptTask&, std::string&) {
    for (const auto& task : t.pProgram->mTasks) {
        if (task.eTaskType == InstrumentScript::eScriptTaskType::Variable) Snapshot()[task.variable->Name] = Render(*task.variable);
    }
    Snapshot()["?"] = t.fLastCompare ? "True" : "False";
    return true;
}

class ValuesFixture : public EngineFixture {
  protected:
    void SetUp() override {
        EngineFixture::SetUp();
        Replace(InstrumentScript::eScriptTaskType::FunctionBeep, SnapshotExecutor);
    }
    // Runs the script to its end after fPreset has filled values in; returns the script errors.
    template <typename Preset> std::vector<std::string> RunToEnd(const std::string& sScript, Preset fPreset) {
        collector.Clear();
        Snapshot().clear();
        auto pProgram = Parsed(sScript);
        if (!pProgram) return {"no parse"};
        fPreset(*pProgram);
        Run(pProgram);
        EXPECT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread.")) << sScript;
        return collector.Texts(InstrumentScript::ScriptMessageError);
    }
    void WriteFile(const std::string& sName, const std::string& sBytes) {
        std::ofstream(folder.path().toStdString() + "/" + sName, std::ios::binary) << sBytes;
    }
};

} // namespace ScriptTest
