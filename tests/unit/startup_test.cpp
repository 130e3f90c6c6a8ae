// The tool programs' shared start-up: switches from the environment and the arguments,
// the "-help" text and the help output.
#include "services_fixture.h"

#include <csignal>
#include <cstdlib>

namespace {

const char *const apszHelp[] = {"", "tool provides the following runtime options:",
                                "         help:        Will provide this help information.",
                                nullptr};

OVTOOLSTARTUP Descriptor(std::size_t nBlock = 131072, std::size_t nMax = 16000) {
    return {"tool",          "env debug notice", "env dump notice",
            "arg debug notice", "arg dump notice",
            "tool Initialize: Invalid help parameter specified: .", apszHelp, nBlock, nMax};
}

class StartupTest : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        unsetenv("ORVIKDEBUG");
        unsetenv("ORVIKDUMP");
    }
    void TearDown() override {
        free(pszHelpInfo);
        pszHelpInfo = nullptr;
        unsetenv("ORVIKDEBUG");
        unsetenv("ORVIKDUMP");
        ServicesTest::TearDown();
    }
    int Run(std::vector<std::string> asArgument, const OVTOOLSTARTUP &sStartup = Descriptor()) {
        std::vector<char *> apszArgv;
        for (std::string &sArgument : asArgument) apszArgv.push_back(sArgument.data());
        apszArgv.push_back(nullptr);
        asKeep = std::move(asArgument);
        return OVToolStartup(&sStartup, static_cast<int>(apszArgv.size() - 1), apszArgv.data());
    }
    std::vector<std::string> asKeep;
};

TEST_F(StartupTest, EnvironmentYesInAnyCaseSwitchesOn) {
    setenv("ORVIKDEBUG", "yEs", 1);
    setenv("ORVIKDUMP", "YES", 1);
    OVTOOLSTARTUP sStartup = Descriptor();
    OVApplyEnvironmentSwitches(&sStartup);
    EXPECT_EQ(bDebug, 1);
    EXPECT_EQ(bDump, 1);
    EXPECT_STREQ(getenv("ORVIKDEBUG"), "Yes");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"env debug notice", "env dump notice"}));
    EXPECT_EQ(ReadLog().substr(18, 8), "Debug   ");
}

TEST_F(StartupTest, EnvironmentNoOrOtherValuesLeaveItOff) {
    for (const char *pszValue : {"No", "1", "true", "Yes please", ""}) {
        setenv("ORVIKDEBUG", pszValue, 1);
        setenv("ORVIKDUMP", pszValue, 1);
        EXPECT_EQ(Run({"tool"}), 0);
        EXPECT_EQ(bDebug, 0) << pszValue;
        EXPECT_EQ(bDump, 0) << pszValue;
    }
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(StartupTest, ArgumentsFromIndexZeroSwitchOn) {
    EXPECT_EQ(Run({"DEBUG", "other", "Dump"}), 0);
    EXPECT_EQ(bDebug, 1);
    EXPECT_EQ(bDump, 1);
    EXPECT_STREQ(getenv("ORVIKDEBUG"), "Yes");
    EXPECT_STREQ(getenv("ORVIKDUMP"), "Yes");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"arg debug notice", "arg dump notice"}));
}

TEST_F(StartupTest, HelpPrintsTheLinesAndReturnsOne) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"tool", "HELP", "debug"}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\ntool provides the following runtime options:\n"
              "         help:        Will provide this help information.\n");
    EXPECT_EQ(bDebug, 0); /* nothing after "help" is looked at */
}

TEST_F(StartupTest, HelpTextIsKeptAndCut) {
    std::string sText = std::string(15999, 'h') + "\xC3\xA9" + "tail";
    EXPECT_EQ(Run({"tool", "-Help", sText}, Descriptor(131072, 16000)), 0);
    ASSERT_NE(pszHelpInfo, nullptr);
    EXPECT_EQ(std::string(pszHelpInfo), std::string(15999, 'h'));
    EXPECT_EQ(Run({"tool", "-help", "short text"}, Descriptor(16384, 16000)), 0);
    EXPECT_STREQ(pszHelpInfo, "short text");
    /* The rest of the block is zeroed. */
    EXPECT_EQ(pszHelpInfo[16383], '\0');
}

TEST_F(StartupTest, BlockSizeZeroKeepsTheWholeText) {
    std::string sText(40000, 't');
    EXPECT_EQ(Run({"tool", "-help", sText}, Descriptor(0, 0)), 0);
    ASSERT_NE(pszHelpInfo, nullptr);
    EXPECT_EQ(std::string(pszHelpInfo), sText);
}

TEST_F(StartupTest, HelpTextIsComparedWithHelpOnly) {
    EXPECT_EQ(Run({"tool", "-help", "debug"}), 0);
    EXPECT_EQ(bDebug, 0);
    EXPECT_STREQ(pszHelpInfo, "debug");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"tool", "-help", "help"}), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("runtime options"), std::string::npos);
}

TEST_F(StartupTest, SkippedHelpTextIsOnlyHelpText) {
    OVTOOLSTARTUP sStartup = Descriptor();
    sStartup.bHelpTextSkipped = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"tool", "-help", "help", "dump"}, sStartup), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(pszHelpInfo, "help");
    EXPECT_EQ(bDump, 1); /* the words after the text are still looked at */
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"tool", "-help", "text", "Help"}, sStartup), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("runtime options"), std::string::npos);
}

TEST_F(StartupTest, HelpWithoutTextIsAnError) {
    EXPECT_EQ(Run({"tool", "debug", "-help"}), 8);
    EXPECT_EQ(pszHelpInfo, nullptr);
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 2u);
    EXPECT_EQ(asMessage[1], "tool Initialize: Invalid help parameter specified: .");
    OVTOOLSTARTUP sStartup = Descriptor();
    sStartup.pszHelpMissingError = "tool Initialize: No help information provided for -help parameter.";
    EXPECT_EQ(Run({"-help"}, sStartup), 8);
    EXPECT_EQ(LogMessages().back(), "tool Initialize: No help information provided for -help parameter.");
}

/* The frame of a tool program: what ran, in order. */
std::vector<std::string> asRan;
int nFirstStepRc = 0;

int InitializeForTest(int, char **) { return asRan.push_back("Initialize"), OVRC_OK; }
int FirstStep() { return asRan.push_back("first"), nFirstStepRc; }
int SecondStep() { return asRan.push_back("second"), OVRC_EXIT; }
int FinishForTest() { return asRan.push_back("Finish"), OVWriteMessage(OVLOG_DEBUG, "Finish"); }
/* A remote step cancelled with Ctrl-c raises the interrupt and gives up. */
int CancelledStep() { return raise(SIGINT), OVRC_CANCELLED; }

const char *const apszUsage[] = {"Usage: tool", nullptr};

TEST_F(StartupTest, ToolFrameRunsStepsWhileZeroAndEndsOnANotedSignal) {
    OVTOOLFRAME sFrame = {apszUsage, InitializeForTest, {FirstStep, SecondStep}, FinishForTest,
                          {"tool ", "Orvik tool ", true, nullptr, FinishForTest}};
    std::string asArgument[] = {"tool", "-h"};
    char *apszArgv[] = {asArgument[0].data(), asArgument[1].data(), nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(OVRunTool(&sFrame, 2, apszArgv), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Usage: tool\n");
    EXPECT_TRUE(asRan.empty()); /* the usage comes before anything else */
    EXPECT_EQ(OVRunTool(&sFrame, 1, apszArgv), OVRC_EXIT);
    EXPECT_EQ(asRan, (std::vector<std::string>{"Initialize", "first", "second", "Finish"}));
    asRan.clear();
    nFirstStepRc = OVRC_RETURN;
    EXPECT_EQ(OVRunTool(&sFrame, 1, apszArgv), OVRC_RETURN);
    EXPECT_EQ(asRan, (std::vector<std::string>{"Initialize", "first", "Finish"}));

    /* No further step, no failure box: the program's ending, its Finish once, the status. */
    sFrame.apfnStep[0] = CancelledStep;
    EXPECT_EXIT((testing::internal::CaptureStdout(), OVRunTool(&sFrame, 1, apszArgv)),
                testing::ExitedWithCode(SIGINT), "");
    EXPECT_EQ(LogMessages().back(), "Finish");
    EXPECT_EQ(LogMessages().end()[-2], "tool Abnormal Exit: nSignal: 2.");
}

} // namespace
