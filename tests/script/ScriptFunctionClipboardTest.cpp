// "function clipboard" on the real clipboard of the offscreen platform: the text of each type,
// the layout of data dumps, images, and the waveform that cannot go there. The user's
// separators are German here.
#include "ScriptEngineFixture.h"

#include "script/ScriptFunctionClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>

#include <cstdlib>

namespace {

using namespace InstrumentScript;
using namespace ScriptTest;

const bool fGerman = [] { return setenv("LC_ALL", "de_DE.UTF-8", 1) == 0; }();

class ScriptClipboardTest : public EngineFixture {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char sName[] = "ScriptFunctionClipboardTest";
        static char* argv[] = {sName, nullptr};
        if (!QCoreApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        EngineFixture::SetUp();
        SetEnvironment(nullptr); // the program's own environment: the real clipboard
    }

    // Runs the clipboard executor on the value that prepare gives the variable "v".
    std::string Copy(const char* sType, const std::function<void(uScriptVariable&)>& prepare) {
        collector.Clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        auto pProgram = Parsed(std::string(sType) + " v\nv function clipboard\n");
        prepare(VariableOf(*pProgram, "v"));
        uScriptTask* pAction = nullptr;
        for (uScriptTask& task : pProgram->mTasks)
            if (task.eTaskType == eScriptTaskType::FunctionClipboard) pAction = &task;
        auto pThread = std::make_shared<uScriptThread>();
        pThread->pInstance = pInstance;
        pThread->pProgram = pProgram;
        std::string sError;
        EXPECT_TRUE(pAction && TaskFunctionClipboard(*pThread, *pAction, sError));
        EventHub::Pump();
        return QGuiApplication::clipboard()->text().toStdString();
    }
    bool Logged() const {
        return HasOutput("Skriptzeile 2 TaskFunctionClipboard - Die Variable wurde in die Zwischenablage kopiert: v");
    }
};

DataBuffer Bytes(int iCount) {
    DataBuffer data;
    for (int i = 0; i < iCount; ++i) {
        const auto b = static_cast<std::uint8_t>(i);
        data.append(&b, 1);
    }
    return data;
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t iFrom = 0;
    for (std::size_t i; (i = s.find("\r\n", iFrom)) != std::string::npos; iFrom = i + 2) lines.push_back(s.substr(iFrom, i - iFrom));
    if (iFrom < s.size()) lines.push_back(s.substr(iFrom));
    return lines;
}

TEST_F(ScriptClipboardTest, EachTypeAsText) {
    EXPECT_EQ(Copy("boolean", [](uScriptVariable& v) { v.Boolean = 1; }), "True");
    EXPECT_TRUE(Logged());
    EXPECT_EQ(Copy("boolean", [](uScriptVariable&) {}), "False");
    EXPECT_EQ(Copy("integer", [](uScriptVariable& v) { v.Integer = -1234567; }), "-1234567");
    if (fGerman) EXPECT_EQ(Copy("float", [](uScriptVariable& v) { v.Float = 2.5; }), "2,5");
    EXPECT_EQ(Copy("string", [](uScriptVariable& v) { v.String = "Grüße\r\n"; }), "Grüße\r\n");
    EXPECT_TRUE(Logged());
}

TEST_F(ScriptClipboardTest, SmallDataIsOneDump) {
    const std::string s = Copy("data", [](uScriptVariable& v) { v.Data = DataBuffer::FromText("Hello"); });
    EXPECT_EQ(s, "Die gesamten 5 Bytes:\r\n0| 48 65 6C 6C 6F " + std::string(33, ' ') + "|Hello" + std::string(11, ' ') + "|\r\n");
    EXPECT_TRUE(Logged());
}

TEST_F(ScriptClipboardTest, DataDumpLayout) {
    // 300 bytes: 16 lines of the first 256, then 44 bytes in 3 lines from offset 100 (hex).
    std::vector<std::string> lines = Lines(Copy("data", [](uScriptVariable& v) { v.Data = Bytes(300); }));
    ASSERT_EQ(lines.size(), 1u + 16u + 1u + 3u);
    EXPECT_EQ(lines[0], "Die ersten 256 Bytes:");
    EXPECT_EQ(lines[1].substr(0, 5), "000| ");
    EXPECT_EQ(lines[16].substr(0, 8), "0F0| F0 ");
    EXPECT_EQ(lines[17], "Die letzten 44 Bytes:");
    EXPECT_EQ(lines[18].substr(0, 8), "100| 00 ");
    EXPECT_EQ(lines[20].substr(0, 20), "120| 20 21 22 23 24 ");

    // 1000 bytes: the last part holds the last 128 bytes from offset 368 (hex).
    lines = Lines(Copy("data", [](uScriptVariable& v) { v.Data = Bytes(1000); }));
    ASSERT_EQ(lines.size(), 1u + 16u + 1u + 8u);
    EXPECT_EQ(lines[17], "Die letzten 128 Bytes:");
    EXPECT_EQ(lines[18].substr(0, 8), "368| 68 ");
    EXPECT_EQ(lines[25].substr(0, 8), "3D8| D8 ");

    // 256 bytes are one part; 384 bytes take the last 128.
    EXPECT_EQ(Lines(Copy("data", [](uScriptVariable& v) { v.Data = Bytes(256); }))[0], "Die gesamten 256 Bytes:");
    EXPECT_EQ(Lines(Copy("data", [](uScriptVariable& v) { v.Data = Bytes(383); }))[17], "Die letzten 127 Bytes:");
    EXPECT_EQ(Lines(Copy("data", [](uScriptVariable& v) { v.Data = Bytes(384); }))[17], "Die letzten 128 Bytes:");
}

TEST_F(ScriptClipboardTest, EmptyValuesLeaveTheClipboardEmpty) {
    EXPECT_EQ(Copy("data", [](uScriptVariable&) {}), "");
    EXPECT_FALSE(Logged());
    EXPECT_EQ(Copy("image", [](uScriptVariable&) {}), "");
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_FALSE(Logged());
}

TEST_F(ScriptClipboardTest, WaveformLogsItsLine) {
    EXPECT_EQ(Copy("waveform", [](uScriptVariable& v) { v.Waveform = std::make_unique<uWaveformData>(); }), "");
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_EQ(Outputs(), std::vector<std::string>{"Skriptzeile 2 Ereignis InstrumentTaskClipboard -  - Variablen vom Typ "
                                                  "waveform können nicht in die Zwischenablage kopiert werden."});
}

TEST_F(ScriptClipboardTest, ImageGoesAsImage) {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    Copy("image", [&](uScriptVariable& v) { v.Image = image; });
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), image);
    EXPECT_TRUE(Logged());
}

// From the interpreter thread the copy is handed to the GUI thread, and the script goes on
// after a waveform.
TEST_F(ScriptClipboardTest, FromTheInterpreterThread) {
    QGuiApplication::clipboard()->clear();
    auto pProgram = Parsed("waveform w\nstring s\nw function clipboard\ns function clipboard\n");
    VariableOf(*pProgram, "s").String = "from the thread";
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished, 1, 20000));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "from the thread");
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskFunctionClipboard - Die Variable wurde in die Zwischenablage kopiert: s"));
}

} // namespace
