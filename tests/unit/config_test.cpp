// config.ini: reading rules, remote system statements, errors, the written form and the
// atomic rewrite.
#include "services_fixture.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ConfigTest = ServicesTest;

const std::string sDefaultDisplayLines =
    "PanelForegroundColor      is White\n"
    "PanelBackgroundColor      is Black\n"
    "PanelAttribute            is Bright\n"
    "MenuItemForegroundColor   is White\n"
    "MenuItemBackgroundColor   is Blue\n"
    "MenuItemAttribute         is Bright\n"
    "PulldownForegroundColor   is White\n"
    "PulldownBackgroundColor   is Blue\n"
    "PulldownAttribute         is Bright\n"
    "FieldForegroundColor      is Cyan\n"
    "FieldBackgroundColor      is Black\n"
    "FieldAttribute            is Bright\n"
    "MessageBoxForegroundColor is Black\n"
    "MessageBoxBackgroundColor is Cyan\n"
    "MessageBoxAttribute       is Bright\n"
    "ButtonForegroundColor     is White\n"
    "ButtonBackgroundColor     is Blue\n"
    "ButtonAttribute           is Bright\n";

std::vector<std::string> Entries(const std::string &sDir) {
    std::vector<std::string> asName;
    for (const auto &sEntry : std::filesystem::directory_iterator(sDir))
        asName.push_back(sEntry.path().filename().string());
    std::sort(asName.begin(), asName.end());
    return asName;
}

TEST_F(ConfigTest, MissingFileIsCreatedFromTheDefaults) {
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(std::string(szOrvikConfFile), ConfigPath());
    EXPECT_EQ(ReadFile(ConfigPath()), sDefaultDisplayLines);
    EXPECT_EQ(LogMessages().at(0), "LoadConfigurationValues: Orvik Configuration: " + ConfigPath() +
                                       " not found at startup. Setting to initial load.");
    EXPECT_EQ(ReadLog().substr(18, 8), "Debug   ");
}

TEST_F(ConfigTest, PathWithoutOrvikDirIsTheCurrentDirectory) {
    unsetenv("ORVIKDIR");
    std::filesystem::path sOld = std::filesystem::current_path();
    std::filesystem::current_path(sDir);
    EXPECT_EQ(SaveConfigurationValues(), 0);
    std::filesystem::current_path(sOld);
    EXPECT_STREQ(szOrvikConfFile, "./config.ini");
    EXPECT_EQ(ReadFile(ConfigPath()), sDefaultDisplayLines);
}

TEST_F(ConfigTest, OneStatementChangesOneValue) {
    WriteFile(ConfigPath(), "panelforegroundcolor = red\n");
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nForegroundColor, 1);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor, 0);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_BUTTON].nBackgroundColor, 4);
    /* Nothing changed: the file stays as it was written. A change rewrites the line that set
       the value and adds a line for a value the file did not set. */
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), "panelforegroundcolor = red\n");
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
    asOVDisplayAttributes[OVDG_FIELD].nAttribute = 3;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), "PanelForegroundColor      is Green\n"
                                      "FieldAttribute            is Underline\n");
}

TEST_F(ConfigTest, NoiseWordsBlanksAndCase) {
    WriteFile(ConfigPath(), "   FIELDBACKGROUNDCOLOR    IS    =  blue  extra words\n"
                            "# a comment line\n"
                            "\n"
                            "ButtonAttribute = is Underline\n"
                            "FieldForegroundColor\tRed\n"); /* a tab joins the words */
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nBackgroundColor, 4);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_BUTTON].nAttribute, 3);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nForegroundColor, 6);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(ConfigTest, LinesLongerThan1022AreRefusedWholeNeverSplit) {
    /* Read in pieces, the tail of the comment would become a connected system. */
    const std::string sPhantom =
        "#" + std::string(1021, 'x') + "RemoteSystem 6.6.6.6 22 phantom root Connected\n";
    const std::string sFile = sPhantom + std::string(1022, 'y') + "\n" +
                              std::string(995, 'z') + " PanelBackgroundColor Green\n" +
                              std::string(1100, 'w') + "PanelForegroundColor Red\n";
    WriteFile(ConfigPath(), sFile);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(nRemoteSystems, 0);
    EXPECT_EQ(psConnectedSystem, nullptr);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nForegroundColor, 7);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor, 0);
    EXPECT_TRUE(LogHas("LoadConfigurationValues: Line 1 of " + ConfigPath() +
                       " is longer than 1022 characters and is ignored: #xxx"));
    EXPECT_TRUE(LogHas("LoadConfigurationValues: Line 4 of "));
    EXPECT_FALSE(LogHas("Line 2 of")); /* 1022 characters are still one line */
    EXPECT_FALSE(LogHas("Line 3 of"));

    /* A save keeps them whole and adds nothing read from them. */
    asOVDisplayAttributes[OVDG_BUTTON].nAttribute = 7;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), sFile + "ButtonAttribute           is Reverse\n");
}

TEST_F(ConfigTest, BadValueStopsTheLoad) {
    WriteFile(ConfigPath(), "PanelForegroundColor is Red\n"
                            "FieldAttribute is Blinking\n"
                            "PanelBackgroundColor is Green\n");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nForegroundColor, 1);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor, 0);
    EXPECT_EQ(LogMessages().at(0), "LoadConfigurationValues: apachWorksub[0]: FieldAttribute "
                                   "statement has invalid attribute specified: Blinking.");
    WriteFile(ConfigPath(), "ButtonBackgroundColor\n");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(LogMessages().at(2), "LoadConfigurationValues: apachWorksub[0]: "
                                   "ButtonBackgroundColor statement has invalid color specified: .");
    /* The screen gets the sentence without the function's name, whatever was logged since;
       the save that follows keeps the file and logs no error of its own. A good load forgets
       the sentence. */
    OVWriteMessage(OVLOG_ERROR, "another step: failed.");
    EXPECT_EQ(OVConfigurationFailure(), "Configuration " + ConfigPath() + " not loaded: "
                                        "ButtonBackgroundColor statement has invalid color specified: .");
    const std::size_t nLogged = LogMessages().size();
    EXPECT_EQ(SaveConfigurationValues(), 8);
    EXPECT_EQ(ReadFile(ConfigPath()), "ButtonBackgroundColor\n");
    EXPECT_EQ(ReadLog().find("Error   SaveConfigurationValues"), std::string::npos) << ReadLog();
    EXPECT_EQ(LogMessages().size(), nLogged + 1);
    WriteFile(ConfigPath(), "ButtonBackgroundColor is Red\n");
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(OVConfigurationFailure(), "");
}

TEST_F(ConfigTest, CarriageReturnStaysPartOfTheValue) {
    WriteFile(ConfigPath(), "PanelAttribute is Dim\r\n");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(LogMessages().at(0), "LoadConfigurationValues: apachWorksub[0]: PanelAttribute "
                                   "statement has invalid attribute specified: Dim\r.");
}

TEST_F(ConfigTest, RemoteSystemsLoadAndWriteBack) {
    WriteFile(ConfigPath(),
              "RemoteSystem 10.0.0.5 22 web admin Connected LastConnect 20260107\n"
              "remotesystem 10.0.0.6 2222 db root lastping Connected LASTTRUST t1 LastPing p2\n");
    EXPECT_EQ(LoadConfigurationValues(), 0);
    ASSERT_EQ(nRemoteSystems, 2);
    EXPECT_EQ(psConnectedSystem, &asRemoteSystem[0]);
    EXPECT_STREQ(asRemoteSystem[1].szIP, "10.0.0.6");
    EXPECT_STREQ(asRemoteSystem[1].szPort, "2222");
    EXPECT_STREQ(asRemoteSystem[1].szSystemName, "db");
    EXPECT_STREQ(asRemoteSystem[1].szUser, "root");
    EXPECT_STREQ(asRemoteSystem[1].szLastPing, "p2"); /* a later clause overwrites */
    EXPECT_STREQ(asRemoteSystem[1].szLastTrust, "t1");
    /* The whole normal form is what a new file gets. */
    setenv("ORVIKDIR", (sDir + "/new").c_str(), 1);
    std::filesystem::create_directory(sDir + "/new");
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(sDir + "/new/config.ini"),
              "RemoteSystem 10.0.0.5 22 web admin LastConnect 20260107 Connected\n"
              "RemoteSystem 10.0.0.6 2222 db root LastPing p2 LastTrust t1\n" +
                  sDefaultDisplayLines);
}

TEST_F(ConfigTest, LastConnectedWinsAndSameAddressIsWrittenConnected) {
    WriteFile(ConfigPath(), "RemoteSystem h1 22 a u Connected\n"
                            "RemoteSystem h2 22 b u Connected\n"
                            "RemoteSystem h2 23 c u\n");
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(psConnectedSystem, &asRemoteSystem[1]);
    setenv("ORVIKDIR", (sDir + "/new").c_str(), 1);
    std::filesystem::create_directory(sDir + "/new");
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(sDir + "/new/config.ini"), "RemoteSystem h1 22 a u\n"
                                      "RemoteSystem h2 22 b u Connected\n"
                                      "RemoteSystem h2 23 c u Connected\n" +
                                          sDefaultDisplayLines);
}

TEST_F(ConfigTest, RemoteSystemErrors) {
    /* The fixed wording of the first three ends with a newline, which leaves an empty line
       behind it; a value too long for its field is said in one line. */
    struct CASE {
        std::string sLine, sMessage;
        bool bEmptyLine = true;
    };
    const CASE asCase[] = {
        {"RemoteSystem 10.0.0.5 22 web admin LastPing\n",
         "LoadConfigurationValues: Invalid LastPing clause in RemoteSystem command: RemoteSystem."},
        {"RemoteSystem 10.0.0.5 22 web is\n",
         "LoadConfigurationValues: Invalid RemoteSystem command, Tokens should be > 4 and instead "
         "is 4, command: RemoteSystem."},
        {"RemoteSystem 10.0.0.5 22 web admin Trusted\n",
         "LoadConfigurationValues: Invalid Trusted keyword in RemoteSystem command: RemoteSystem."},
        {"RemoteSystem " + std::string(33, 'i') + " 22 web admin\n",
         "LoadConfigurationValues: Invalid IP value in RemoteSystem command, longer than 32 "
         "characters: " + std::string(33, 'i') + ".", false},
        {"RemoteSystem host 1234567 web admin\n",
         "LoadConfigurationValues: Invalid Port value in RemoteSystem command, longer than 6 "
         "characters: 1234567.", false},
        {"RemoteSystem host 22 web admin LastTrust " + std::string(17, 's') + "\n",
         "LoadConfigurationValues: Invalid LastTrust value in RemoteSystem command, longer than "
         "16 characters: " + std::string(17, 's') + ".", false},
    };
    for (const auto &[sLine, sMessage, bEmptyLine] : asCase) {
        WriteFile(ConfigPath(), sLine);
        WriteFile(sLogFile, "");
        EXPECT_EQ(LoadConfigurationValues(), 8) << sLine;
        EXPECT_EQ(nRemoteSystems, 0);
        std::vector<std::string> asExpected{sMessage};
        if (bEmptyLine) asExpected.push_back("");
        EXPECT_EQ(LogMessages(), asExpected);
    }
}

TEST_F(ConfigTest, FieldsHoldTheirFullLength) {
    std::string sLine = "RemoteSystem " + std::string(32, 'i') + " 123456 " + std::string(16, 'n') +
                        " " + std::string(16, 'u') + " LastPing " + std::string(16, 'p') + "\n";
    WriteFile(ConfigPath(), sLine);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    ASSERT_EQ(nRemoteSystems, 1);
    EXPECT_EQ(std::string(asRemoteSystem[0].szIP), std::string(32, 'i'));
    EXPECT_EQ(std::string(asRemoteSystem[0].szUser), std::string(16, 'u'));
    EXPECT_EQ(std::string(asRemoteSystem[0].szLastPing), std::string(16, 'p'));
}

TEST_F(ConfigTest, FailedStatementDoesNotConnect) {
    WriteFile(ConfigPath(), "RemoteSystem h1 22 a u Connected Bogus\n");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(psConnectedSystem, nullptr);
    EXPECT_EQ(nRemoteSystems, 0);
}

TEST_F(ConfigTest, OnlyTwentyWordsAreConsidered) {
    std::string sClauses;
    for (int i = 0; i < 7; i++) sClauses += " LastPing v" + std::to_string(i);
    WriteFile(ConfigPath(), "RemoteSystem h 22 n u" + sClauses + " Bogus\n");
    EXPECT_EQ(LoadConfigurationValues(), 8); /* Bogus is word 20 */
    WriteFile(ConfigPath(), "RemoteSystem h 22 n u" + sClauses + " is Bogus\n");
    EXPECT_EQ(LoadConfigurationValues(), 8); /* "is" is dropped before counting */
    WriteFile(ConfigPath(), "RemoteSystem h 22 n u" + sClauses + " Connected Bogus\n");
    EXPECT_EQ(LoadConfigurationValues(), 0); /* Bogus is word 21 */
    EXPECT_EQ(psConnectedSystem, &asRemoteSystem[0]);
    EXPECT_STREQ(asRemoteSystem[0].szLastPing, "v6");
}

TEST_F(ConfigTest, TableHoldsOneHundredSystems) {
    std::string sText;
    for (int i = 0; i < OVMAXREMOTESYSTEMS; i++) sText += "RemoteSystem h" + std::to_string(i) + " 22 n u\n";
    WriteFile(ConfigPath(), sText);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(nRemoteSystems, 100);
    WriteFile(ConfigPath(), sText + "RemoteSystem extra 22 n u\n");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(nRemoteSystems, 100);
    EXPECT_EQ(LogMessages().at(0), "LoadConfigurationValues: Too many RemoteSystem commands, at "
                                    "most 100 are kept, command: RemoteSystem.");
}

TEST_F(ConfigTest, AttributeZeroIsWrittenAsBrightAndReadsAsOne) {
    asOVDisplayAttributes[OVDG_PANEL].nAttribute = 0;
    asOVDisplayAttributes[OVDG_FIELD].nAttribute = 7;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    std::string sText = ReadFile(ConfigPath());
    EXPECT_NE(sText.find("PanelAttribute            is Bright\n"), std::string::npos);
    EXPECT_NE(sText.find("FieldAttribute            is Reverse\n"), std::string::npos);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nAttribute, 1);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_FIELD].nAttribute, 7);
}

TEST_F(ConfigTest, NormalFormRoundTripsUnchanged) {
    std::string sText = "RemoteSystem 192.168.1.9 2200 nas backup LastPing 2026-01-01 LastTrust x "
                        "LastConnect y Connected\n" + sDefaultDisplayLines;
    sText.replace(sText.find("Cyan"), 4, "Magenta");
    sText.replace(sText.find("PanelAttribute            is Bright"), 35, "PanelAttribute            is Dim");
    WriteFile(ConfigPath(), sText);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), sText);
}

TEST_F(ConfigTest, OutOfRangeNumbersStillWriteAReadableFile) {
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 9;
    asOVDisplayAttributes[OVDG_PANEL].nAttribute = 12;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), sDefaultDisplayLines);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(asOVDisplayAttributes[OVDG_PANEL].nForegroundColor, 7);
}

TEST_F(ConfigTest, SaveKeepsPermissionsAndLeavesNoTemporaryFile) {
    WriteFile(ConfigPath(), "PanelForegroundColor Red\n");
    chmod(ConfigPath().c_str(), 0640);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), "PanelForegroundColor      is Green\n");
    struct stat sStat;
    ASSERT_EQ(stat(ConfigPath().c_str(), &sStat), 0);
    EXPECT_EQ(sStat.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(sDir), (std::vector<std::string>{"config.ini", "config.ini.lock"}));
}

TEST_F(ConfigTest, NewFileIsTheUsersAlone) {
    mode_t nMask = umask(002);
    int nRc = SaveConfigurationValues();
    umask(nMask);
    EXPECT_EQ(nRc, 0);
    struct stat sStat;
    ASSERT_EQ(stat(ConfigPath().c_str(), &sStat), 0);
    EXPECT_EQ(sStat.st_mode & 07777, 0600u);
}

TEST_F(ConfigTest, WritableFileInALockedFolderIsStillSaved) {
    /* A folder the user may not write to, holding a config.ini the user may write. */
    std::string sLocked = sDir + "/locked";
    std::filesystem::create_directory(sLocked);
    chmod(sDir.c_str(), 0755);
    chmod(sLocked.c_str(), 0755);
    WriteFile(sLocked + "/config.ini", "PanelForegroundColor Red\n");
    chmod((sLocked + "/config.ini").c_str(), 0666);
    pid_t nChild = fork();
    ASSERT_GE(nChild, 0);
    if (nChild == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        setenv("ORVIKDIR", sLocked.c_str(), 1);
        setenv("ORVIKLOGFILE", "/dev/null", 1);
        int nRc = LoadConfigurationValues();
        asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
        _exit(nRc != 0 ? nRc : SaveConfigurationValues());
    }
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    std::string sSaved = ReadFile(sLocked + "/config.ini");
    EXPECT_EQ(sSaved, "PanelForegroundColor      is Green\n");
    EXPECT_EQ(Entries(sLocked), std::vector<std::string>{"config.ini"});
}

TEST_F(ConfigTest, FailedWriteKeepsTheOldFileWhole) {
    /* Long enough that the log line fits below the limit the new text goes over. */
    std::string sOld = "# " + std::string(200, '-') + "\nRemoteSystem keep 22 me u\n"
                       "PanelForegroundColor Red\n";
    WriteFile(ConfigPath(), sOld);
    EXPECT_EQ(LoadConfigurationValues(), 0);
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
    WriteFile(sLogFile, "");
    /* A file size limit below the new file's size makes the write fail for real. */
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit sOldLimit;
    getrlimit(RLIMIT_FSIZE, &sOldLimit);
    struct rlimit sLimit = sOldLimit;
    sLimit.rlim_cur = sOld.size() + 5;
    setrlimit(RLIMIT_FSIZE, &sLimit);
    int nRc = SaveConfigurationValues();
    setrlimit(RLIMIT_FSIZE, &sOldLimit);
    EXPECT_EQ(nRc, 8);
    EXPECT_EQ(ReadFile(ConfigPath()), sOld);
    EXPECT_EQ(Entries(sDir),
              (std::vector<std::string>{"OrvikLog.txt", "config.ini", "config.ini.lock"}));
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"SaveConfigurationValues: Unable to create or "
                                                       "update configuration file: " + ConfigPath() + ".", ""}));
}

TEST_F(ConfigTest, ConfigThatIsADirectoryIsLeftAlone) {
    std::filesystem::create_directory(ConfigPath());
    WriteFile(ConfigPath() + "/inside", "keep");
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(SaveConfigurationValues(), 8);
    EXPECT_EQ(ReadFile(ConfigPath() + "/inside"), "keep");
    EXPECT_EQ(Entries(sDir), (std::vector<std::string>{"OrvikLog.txt", "config.ini"}));
    EXPECT_TRUE(LogHas("LoadConfigurationValues: Unable to read configuration file: " + ConfigPath()));
    EXPECT_TRUE(LogHas("SaveConfigurationValues: The last load of the configuration file failed; " + ConfigPath() + " is left as it is."));
}

TEST_F(ConfigTest, FifoOrAnotherUsersFileIsRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo(ConfigPath().c_str(), 0600), 0);
    alarm(10); /* an open that blocks ends the test here instead of hanging it */
    EXPECT_EQ(LoadConfigurationValues(), 8);
    alarm(0);
    EXPECT_EQ(OVConfigurationFailure(), "Configuration " + ConfigPath() + " not loaded: Unable "
              "to read configuration file: " + ConfigPath() + ": it is not a regular file.");
    unlink(ConfigPath().c_str());
    WriteFile(ConfigPath(), "RemoteSystem 6.6.6.6 22 planted root Connected\n");
    ASSERT_EQ(chown(ConfigPath().c_str(), 65534, 65534), 0);
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_TRUE(LogHas(ConfigPath() + ": it is another user's file."));
}

TEST_F(ConfigTest, SaveFilesOfSavesThatDidNotEndAreRemoved) {
    WriteFile(ConfigPath(), "PanelForegroundColor Red\n");
    ASSERT_EQ(LoadConfigurationValues(), 0);
    /* A save killed on a signal the program handles removes its own file. */
    pid_t nChild = fork();
    if (nChild == 0) {
        signal(SIGXFSZ, [](int) { OVRemoveTempFiles(); _exit(7); });
        struct rlimit sLimit = {8, 8};
        setrlimit(RLIMIT_FSIZE, &sLimit);
        asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 3;
        _exit(SaveConfigurationValues());
    }
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    EXPECT_EQ(WEXITSTATUS(nStatus), 7);
    EXPECT_EQ(Entries(sDir), (std::vector<std::string>{"config.ini", "config.ini.lock"}));
    /* One killed outright leaves it; the next save removes it, and no other name or newer file. */
    for (const char *pszName : {".a1B2c3", ".later1", ".seven77"}) WriteFile(ConfigPath() + pszName, "x");
    const auto sNow = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(ConfigPath() + ".a1B2c3", sNow - std::chrono::minutes(1));
    std::filesystem::last_write_time(ConfigPath() + ".later1", sNow + std::chrono::minutes(1));
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(Entries(sDir), (std::vector<std::string>{"OrvikLog.txt", "config.ini", "config.ini.later1", "config.ini.lock", "config.ini.seven77"}));
    EXPECT_TRUE(LogHas("SaveConfigurationValues: Removed " + ConfigPath() + ".a1B2c3, left by a save that did not end."));
}

TEST_F(ConfigTest, MissingOrTooLongDirectory) {
    setenv("ORVIKDIR", (sDir + "/absent").c_str(), 1);
    EXPECT_EQ(LoadConfigurationValues(), 8); /* the creating save fails */
    EXPECT_TRUE(LogHas("SaveConfigurationValues: Unable to create or update configuration file: " + sDir + "/absent/config.ini."));
    std::string sLong = "/" + std::string(244, 'd');
    setenv("ORVIKDIR", sLong.c_str(), 1);
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(SaveConfigurationValues(), 8);
    EXPECT_TRUE(LogHas("LoadConfigurationValues: ORVIKDIR is longer than 244 characters"));
    EXPECT_TRUE(LogHas("SaveConfigurationValues: ORVIKDIR is longer than 244 characters"));
    setenv("ORVIKDIR", std::string(244, 'd').c_str(), 1);
    EXPECT_EQ(SaveConfigurationValues(), 8); /* fits, but the folder does not exist */
    EXPECT_EQ(std::string(szOrvikConfFile), std::string(244, 'd') + "/config.ini");
}

} // namespace

namespace {

std::string RemoteSystemLines(int nFirst, int nCount) {
    std::string sText;
    for (int i = nFirst; i < nFirst + nCount; i++)
        sText += "RemoteSystem 10.0.0." + std::to_string(i) + " 22 sys" + std::to_string(i) +
                 " admin\n";
    return sText;
}

/* Runs fn in a child that has become an ordinary user; its exit status. */
template <typename FN> int AsNobody(FN fn) {
    pid_t nChild = fork();
    if (nChild == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        _exit(fn());
    }
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

} // namespace

TEST_F(ConfigTest, FailedLoadNeverWritesItsPartialTablesBack) {
    /* Too many systems, and a bad line in the middle of a good file: both stop the load
       half way, and no later save may write what was read up to there. */
    const std::string asFile[] = {
        RemoteSystemLines(1, 200) + sDefaultDisplayLines,
        RemoteSystemLines(1, 3) + "PanelAttribute is Sparkling\n" + RemoteSystemLines(4, 3) +
            sDefaultDisplayLines,
    };
    for (const std::string &sFile : asFile) {
        WriteFile(ConfigPath(), sFile);
        EXPECT_EQ(LoadConfigurationValues(), 8);
        EXPECT_EQ(SaveConfigurationValues(), 8);
        EXPECT_EQ(ReadFile(ConfigPath()), sFile);
        EXPECT_TRUE(LogHas("SaveConfigurationValues: The last load of the configuration file "
                           "failed; " + ConfigPath() + " is left as it is."));
    }
    /* Once the file loads again, saving works again. */
    WriteFile(ConfigPath(), RemoteSystemLines(1, 2));
    ASSERT_EQ(LoadConfigurationValues(), 0);
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 1;
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_NE(ReadFile(ConfigPath()).find("PanelForegroundColor      is Red\n"), std::string::npos);
}

TEST_F(ConfigTest, UnchangedTablesLeaveTheFileAndOtherWritersAlone) {
    const std::string sFile = RemoteSystemLines(1, 2) + sDefaultDisplayLines;
    WriteFile(ConfigPath(), sFile);
    ASSERT_EQ(LoadConfigurationValues(), 0);
    struct stat sBefore, sAfter;
    ASSERT_EQ(stat(ConfigPath().c_str(), &sBefore), 0);
    EXPECT_EQ(SaveConfigurationValues(), 0);
    ASSERT_EQ(stat(ConfigPath().c_str(), &sAfter), 0);
    EXPECT_EQ(sAfter.st_ino, sBefore.st_ino); /* a rewrite renames a new file over it */

    /* Another program saves a change meanwhile; ours, with nothing changed, keeps it. */
    const std::string sOther = RemoteSystemLines(1, 3) + sDefaultDisplayLines;
    WriteFile(ConfigPath(), sOther);
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()), sOther);

    /* A real change is written, into the file as the other program left it. */
    psConnectedSystem = &asRemoteSystem[1];
    EXPECT_EQ(SaveConfigurationValues(), 0);
    EXPECT_EQ(ReadFile(ConfigPath()),
              RemoteSystemLines(1, 1) + "RemoteSystem 10.0.0.2 22 sys2 admin Connected\n" +
                  RemoteSystemLines(3, 1) + sDefaultDisplayLines);
}

TEST_F(ConfigTest, EveryLoadStartsWithNoConnectedSystem) {
    WriteFile(ConfigPath(), "RemoteSystem 10.0.0.9 22 old admin Connected\n");
    ASSERT_EQ(LoadConfigurationValues(), 0);
    ASSERT_NE(psConnectedSystem, nullptr);
    WriteFile(ConfigPath(), "RemoteSystem 10.0.0.7 22 new admin\n");
    ASSERT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(psConnectedSystem, nullptr);
}

TEST_F(ConfigTest, InPlaceRewriteOnAFullDiskKeepsTheOldFile) {
    /* A folder closed to the user holds a config.ini the user may write; the disk is "full"
       at the file's present size (a file size limit stands in for it). */
    std::string sLocked = sDir + "/locked";
    std::filesystem::create_directory(sLocked);
    chmod(sDir.c_str(), 0755);
    chmod(sLocked.c_str(), 0755);
    const std::string sShort = "PanelForegroundColor Red\n";
    WriteFile(sLocked + "/config.ini", sShort);
    chmod((sLocked + "/config.ini").c_str(), 0666);

    int nStatus = AsNobody([&] {
        setenv("ORVIKDIR", sLocked.c_str(), 1);
        setenv("ORVIKLOGFILE", "/dev/null", 1);
        if (LoadConfigurationValues() != 0) return 90;
        asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit sLimit = {sShort.size(), sShort.size()};
        setrlimit(RLIMIT_FSIZE, &sLimit);
        return SaveConfigurationValues();
    });
    EXPECT_EQ(nStatus, 8);
    EXPECT_EQ(ReadFile(sLocked + "/config.ini"), sShort);

    /* A shorter text is cut to its own length only after it is written. */
    const std::string sLong = RemoteSystemLines(1, 30) + sDefaultDisplayLines;
    WriteFile(sLocked + "/config.ini", sLong);
    nStatus = AsNobody([&] {
        setenv("ORVIKDIR", sLocked.c_str(), 1);
        setenv("ORVIKLOGFILE", "/dev/null", 1);
        if (LoadConfigurationValues() != 0) return 90;
        nRemoteSystems = 1;
        return SaveConfigurationValues();
    });
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(ReadFile(sLocked + "/config.ini"), RemoteSystemLines(1, 1) + sDefaultDisplayLines);
}
