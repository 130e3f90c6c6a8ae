// Remote commands against the test OpenSSH server. What is on the remote side is looked at
// through ssh itself, so the tests hold whether or not the server shares this machine's /tmp.
#include "services_fixture.h"
#include "test_services.h"

#include <unistd.h>

namespace {

constexpr const char *kSharedTmp =
    "the test OpenSSH server shares this machine's /tmp: the remote command line removes its "
    "files on the remote side after scp has copied them back to the same paths, so here it "
    "removes the local copies too. A remote system has a /tmp of its own: run the test sshd "
    "with a private /tmp (a mount namespace).";

class RemoteCommandTest : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        RequireSshService();
        if (HasFatalFailure()) return;
        OVCopyText(sSystem.szIP, sizeof(sSystem.szIP), SshHost().c_str());
        OVCopyText(sSystem.szPort, sizeof(sSystem.szPort), SshPort().c_str());
        OVCopyText(sSystem.szUser, sizeof(sSystem.szUser), SshUser().c_str());
        sRemoteDir = "/tmp/orvik-remote-" + std::to_string(getpid());
    }
    /* Whether a file made in the local /tmp is seen by the remote side. */
    bool SharesLocalTmp() {
        std::string sProbe = "/tmp/orvik-remote-probe-" + std::to_string(getpid());
        WriteFile(sProbe, "probe");
        bool bShared = RemoteShell("ls " + sProbe) == sProbe + "\n";
        remove(sProbe.c_str());
        return bShared;
    }
    void TearDown() override {
        if (!HasFatalFailure()) RemoteShell("rm -rf " + OVShellWord(sRemoteDir));
        std::error_code ec;
        std::filesystem::remove_all(sRemoteDir, ec);
        ServicesTest::TearDown();
    }
    /* Output of a command run by a plain ssh call, without the library's temporary files. */
    std::string RemoteShell(const std::string &sCommand) {
        std::string sLine = "ssh -n -p " + SshPort() + " " + OVShellWord(SshUser() + "@" + SshHost()) +
                            " " + OVShellQuote(sCommand) + " 2>/dev/null";
        std::string sOutput(65536, '\0');
        ExecuteCommand(sLine.c_str(), sOutput.data(), static_cast<int>(sOutput.size()));
        return sOutput.c_str();
    }
    /* The library's temporary files and remote folders of this process, here and on the
       remote side. */
    std::vector<std::string> OwnTemporaryFiles() {
        std::vector<std::string> asPath;
        std::string sPrefix = "OrvikLibERC." + std::to_string(getpid()) + ".";
        std::string sFolder = "Orvik." + std::to_string(getpid()) + ".";
        for (const auto &sEntry : std::filesystem::directory_iterator("/tmp"))
            if (sEntry.path().filename().string().rfind(sPrefix, 0) == 0)
                asPath.push_back("local " + sEntry.path().string());
        std::istringstream in(RemoteShell("ls /tmp"));
        for (std::string sName; std::getline(in, sName);)
            if (sName.rfind(sPrefix, 0) == 0 || sName.rfind(sFolder, 0) == 0)
                asPath.push_back("remote /tmp/" + sName);
        return asPath;
    }
    /* Runs a command remotely and gives its output; the return code goes to nRc. */
    std::string Remote(const std::string &sCommand, int &nRc) {
        std::string sOutput(8192, '\0');
        nRc = ExecuteRemoteCommand(&sSystem, sCommand.c_str(), sOutput.data(),
                                   static_cast<int>(sOutput.size()), nullptr, nullptr);
        return sOutput.c_str();
    }
    REMOTESYSTEM sSystem{};
    std::string sRemoteDir;
};

TEST_F(RemoteCommandTest, OutputComesBackAndTemporaryFilesGo) {
    ASSERT_FALSE(SharesLocalTmp()) << kSharedTmp;
    int nRc = -1;
    EXPECT_EQ(Remote("echo hello from afar", nRc), "hello from afar\n");
    EXPECT_EQ(nRc, 0) << ReadLog();
    EXPECT_EQ(OwnTemporaryFiles(), std::vector<std::string>{});
}

TEST_F(RemoteCommandTest, HostileFileNameIsCreatedListedAndReadIntact) {
    ASSERT_FALSE(SharesLocalTmp()) << kSharedTmp;
    /* Commands run inside the folder, so anything executed leaves its marker beside the
       file, where ls shows it. A file name cannot hold "/", so the markers are relative. */
    const std::string sName = "we ird \"dq\" 'sq' $(touch executed1) `touch executed2` ;touch "
                              "executed3 \\back";
    const std::string sContent = "text with 'single' \"double\" $(touch executed4) `x` \\n";
    const std::string sInDir = "cd " + OVShellWord(sRemoteDir) + " && ";
    int nRc = -1;
    Remote("mkdir -m 0777 " + sRemoteDir, nRc);
    ASSERT_EQ(nRc, 0) << ReadLog();
    /* The braces keep the file's redirection apart from the one added for the output. */
    Remote(sInDir + "{ printf %s " + OVShellWord(sContent) + " > " + OVShellWord(sName) + "; }", nRc);
    EXPECT_EQ(nRc, 0) << ReadLog();
    EXPECT_EQ(Remote("ls " + OVShellWord(sRemoteDir), nRc), sName + "\n");
    EXPECT_EQ(nRc, 0);
    EXPECT_EQ(Remote(sInDir + "cat " + OVShellWord(sName), nRc), sContent);
    EXPECT_EQ(nRc, 0);
    EXPECT_EQ(RemoteShell("ls -a " + OVShellWord(sRemoteDir)), ".\n..\n" + sName + "\n");
    EXPECT_EQ(OwnTemporaryFiles(), std::vector<std::string>{});
}

TEST_F(RemoteCommandTest, CallerNamedFilesKeepTheOutput) {
    ASSERT_FALSE(SharesLocalTmp()) << kSharedTmp;
    const std::string sOut = sRemoteDir + ".out", sErr = sRemoteDir + ".err";
    char szOutput[64] = "";
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "ls -d /etc /nonexistent-orvik", szOutput,
                                   sizeof(szOutput), sOut.c_str(), sErr.c_str()),
              0);
    EXPECT_EQ(ReadFile(sOut), "/etc\n");
    EXPECT_NE(ReadFile(sErr).find("nonexistent-orvik"), std::string::npos);
    EXPECT_STREQ(szOutput, "");
    /* The remote side's copies are removed. */
    std::string sRemoteTmp = RemoteShell("ls /tmp");
    EXPECT_EQ(sRemoteTmp.find("orvik-remote-" + std::to_string(getpid()) + ".out"), std::string::npos);
    remove(sOut.c_str());
    remove(sErr.c_str());
}

TEST_F(RemoteCommandTest, OutputsWithoutEndAreStoppedAtTheKeptSizeOnWholeLines) {
    std::string sOut = "/tmp/orvik-remote-" + std::to_string(getpid()) + ".out";
    std::string sErr = "/tmp/orvik-remote-" + std::to_string(getpid()) + ".err";
    char szOutput[64] = "";
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "yes error line >&2 | yes 0123456789", szOutput,
                                   sizeof szOutput, sOut.c_str(), sErr.c_str()),
              OVRC_OVERFLOW);
    for (const auto &[sPath, sLine] : {std::pair{sOut, std::string("0123456789\n")},
                                       std::pair{sErr, std::string("error line\n")}}) {
        const std::string sKept = ReadFile(sPath);
        EXPECT_EQ(sKept.size(), OVMAXREMOTEOUTPUT / sLine.size() * sLine.size()) << sPath;
        EXPECT_EQ(sKept.substr(sKept.size() - sLine.size()), sLine);
        remove(sPath.c_str());
    }
    EXPECT_NE(ReadLog().find("| yes 0123456789 on " + SshHost() + " passed 64 MiB; the command "
                             "was stopped and its first 64 MiB kept."), std::string::npos);
    EXPECT_EQ(RemoteShell("pgrep -x yes"), "") << "nothing of it runs on";
}

TEST_F(RemoteCommandTest, RemoteFilesLiveInAPrivateFolderAndNothingIsWrittenThroughOldNames) {
    ASSERT_FALSE(SharesLocalTmp()) << kSharedTmp;
    /* Links at the names the remote side once wrote, for every second of the next minute,
       as another remote user could plant them (fs.protected_symlinks=0): neither the linked
       file nor the file open to everyone gets any output. */
    const std::string sPid = std::to_string(getpid());
    const std::string sVictim = sRemoteDir + "/victim";
    const std::string sOpen = sRemoteDir + "/open";
    std::string sPlant = "mkdir -p " + sRemoteDir + " && echo precious > " + sVictim +
                         " && : > " + sOpen + " && chmod 666 " + sOpen +
                         " && now=$(date +%s) && for i in $(seq -2 60); do t=$((now + i));"
                         " ln -s " + sVictim + " /tmp/OrvikLibERC." + sPid + ".$t.Temp.txt;"
                         " ln -s " + sOpen + " /tmp/OrvikLibERC." + sPid + ".$t.Error.txt; done";
    RemoteShell(sPlant);
    int nRc = -1;
    /* A command that may ask sudo for a password runs on a terminal and writes into a
       folder of its own of mode 0700, the only one of this process; the failing ls gives the
       error output something to write. */
    EXPECT_EQ(Remote("{ sudo -n true; stat -c %a /tmp/Orvik." + sPid + ".*; ls -d /tmp/Orvik." +
                         sPid + ".* | wc -l; ls /nonexistent-orvik; }",
                     nRc),
              "700\n1\n");
    EXPECT_EQ(nRc, 0) << ReadLog();
    /* Any other command brings its output straight back and writes nothing there. */
    EXPECT_EQ(Remote("ls -d /tmp/Orvik." + sPid + ".* 2>/dev/null | wc -l; ls /nonexistent-orvik",
                     nRc),
              "0\n");
    EXPECT_EQ(nRc, 0) << ReadLog();
    EXPECT_EQ(RemoteShell("cat " + sVictim + " " + sOpen), "precious\n");
    RemoteShell("rm -f /tmp/OrvikLibERC." + sPid + ".*");
    EXPECT_EQ(OwnTemporaryFiles(), std::vector<std::string>{});
}

TEST_F(RemoteCommandTest, UnreachableSystemGivesTheFailureText) {
    OVCopyText(sSystem.szIP, sizeof(sSystem.szIP), "127.0.0.1");
    OVCopyText(sSystem.szPort, sizeof(sSystem.szPort), "1");
    int nRc = -1;
    EXPECT_EQ(Remote("echo never", nRc),
              "Command failed. Refer to log file: OrvikLog.txt for more information.\n");
    EXPECT_EQ(nRc, 101);
    EXPECT_TRUE(LogHas("port 1: Connection refused")) << ReadLog();
    EXPECT_EQ(OwnTemporaryFiles(), std::vector<std::string>{});
}

} // namespace
