// Shared by the tests of set, add, compare and math: a fixture that runs one script after
// another on the same instance and takes a snapshot of every variable when the script reaches
// "function beep" (Data and Image values are released when a run ends).
#pragma once

#include "ScriptEngineFixture.h"

#include "script/ScriptConvert.h"
#include "script/ScriptThread.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace ScriptTest {

// A variable's value as one text: booleans true/false, integers in decimal, floats in the plain
// form, strings as they are, data as upper-case hex ("-" when empty), images as WxH, waveforms
// by their model number ("-" when empty).
inline std::string Render(const InstrumentScript::uScriptVariable& v) {
    using InstrumentScript::eVariableType;
    switch (v.Type) {
    case eVariableType::Boolean: return v.Boolean ? "true" : "false";
    case eVariableType::Integer: return std::to_string(v.Integer);
    case eVariableType::Float: return InstrumentScript::FloatToPlainText(v.Float);
    case eVariableType::String: return v.String;
    case eVariableType::Data: {
        if (v.Data.empty()) return "-";
        std::string s;
        char a[4];
        for (std::uint8_t c : v.Data) {
            std::snprintf(a, sizeof a, "%02X", c);
            s += a;
        }
        return s;
    }
    case eVariableType::Image:
        return v.Image.isNull() ? "-" : std::to_string(v.Image.width()) + "x" + std::to_string(v.Image.height());
    case eVariableType::Waveform: return v.Waveform ? "model " + std::to_string(v.Waveform->eModel) : "-";
    default: return {};
    }
}

// Name -> rendered value, taken by the beep executor below.
inline std::map<std::string, std::string>& Snapshot() {
    static std::map<std::string, std::string> m;
    return m;
}

inline bool SnapshotExecutor(InstrumentScript::uScriptThread& t, InstrumentScript::uScriptTask&, std::string&) {
    Snapshot().clear();
    for (const auto& task : t.pProgram->mTasks) {
        if (task.eTaskType == InstrumentScript::eScriptTaskType::Variable)
            Snapshot()[task.variable.Name] = Render(task.variable);
    }
    return true;
}

class ValuesFixture : public EngineFixture {
  protected:
    void SetUp() override {
        EngineFixture::SetUp();
        Replace(InstrumentScript::eScriptTaskType::FunctionBeep, SnapshotExecutor);
    }

    struct uRun {
        std::vector<std::string> errors;
        std::vector<std::string> outputs;
        bool fFinished = false;
    };

    // Parses the script, lets fPreset fill values in, runs it to its end and returns what it
    // reported; the snapshot holds the values at its last "function beep".
    template <typename Preset>
    uRun RunScript(const std::string& sScript, Preset fPreset) {
        collector.Clear();
        Snapshot().clear();
        auto pProgram = Parsed(sScript);
        uRun run;
        if (!pProgram) return run;
        fPreset(*pProgram);
        Run(pProgram);
        EXPECT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread.")) << sScript;
        run.errors = collector.Texts(InstrumentScript::ScriptMessageError);
        run.outputs = Outputs();
        run.fFinished = collector.Count(InstrumentScript::ScriptMessageFinished) > 0;
        return run;
    }
    uRun RunScript(const std::string& sScript) {
        return RunScript(sScript, [](InstrumentScript::uScriptProgram&) {});
    }

    // A file of the test folder (where the environment maps script file names).
    std::string WriteFile(const std::string& sName, const std::string& sBytes) {
        const std::string sPath = folder.path().toStdString() + "/" + sName;
        std::ofstream(sPath, std::ios::binary) << sBytes;
        return sPath;
    }

    static bool Contains(const std::vector<std::string>& lines, const std::string& s) {
        for (const auto& line : lines) {
            if (line == s) return true;
        }
        return false;
    }
};

} // namespace ScriptTest
