// The Debian package: built with CPack from this build, checked by lintian, unpacked into a
// temporary root and started there in tmux on the default menu it installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tmux_driver.h"

namespace fs = std::filesystem;

namespace {

const std::string READY = "Click selection or Tab and press Enter.";

class PackageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char szTemplate[] = "/tmp/orvik-package-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        sWork = szTemplate;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(sWork, ec);
    }
    // Builds the package into the work folder; its path, "" on failure.
    std::string BuildPackage() {
        std::string sOutput;
        int nRc = RunProgram({"cpack", "-G", "DEB", "--config",
                              std::string(ORVIK_BUILD_DIR) + "/CPackConfig.cmake", "-B",
                              sWork + "/cpack"},
                             &sOutput);
        EXPECT_EQ(nRc, 0) << sOutput;
        for (const auto &sEntry : fs::directory_iterator(sWork + "/cpack"))
            if (sEntry.path().extension() == ".deb") return sEntry.path().string();
        ADD_FAILURE() << "no .deb in " << sWork << "/cpack:\n" << sOutput;
        return "";
    }
    std::string sWork;
};

TEST_F(PackageTest, PackageIsCleanAndItsMenuStartsFromTheUnpackedRoot) {
    std::string sDeb = BuildPackage();
    ASSERT_FALSE(sDeb.empty());

    std::string sOutput;
    ASSERT_EQ(RunProgram({"dpkg-deb", "--field", sDeb, "Package", "Depends", "Recommends"},
                         &sOutput),
              0);
    EXPECT_NE(sOutput.find("Package: orvik"), std::string::npos) << sOutput;
    for (const char *pszNeeded : {"libncursesw6", "libxml2", "openssh-client"})
        EXPECT_NE(sOutput.find(pszNeeded), std::string::npos) << pszNeeded << "\n" << sOutput;
    for (const char *pszCommand :
         {"lshw", "dmidecode", "net-tools", "fdisk", "cups-bsd", "sudo", "clustershell"})
        EXPECT_NE(sOutput.find(pszCommand), std::string::npos) << pszCommand << "\n" << sOutput;

    // lintian: no errors (warnings and notes are its opinion, not a failure).
    int nLintian = RunProgram({"lintian", "--fail-on", "error", "--no-tag-display-limit", sDeb},
                              &sOutput);
    EXPECT_EQ(nLintian, 0) << sOutput;
    EXPECT_EQ(sOutput.find("E: "), std::string::npos) << sOutput;

    std::string sRoot = sWork + "/root";
    ASSERT_EQ(RunProgram({"dpkg-deb", "-x", sDeb, sRoot}, &sOutput), 0) << sOutput;
    for (const char *pszFile :
         {"/usr/bin/orvik", "/usr/bin/orvikfsys", "/usr/bin/orvikdsys", "/usr/bin/orvikpref",
          "/usr/bin/orvikconn", "/usr/share/orvik/orvik.xml", "/usr/share/man/man1/orvik.1.gz",
          "/usr/share/man/man1/orvikconn.1.gz", "/usr/share/doc/orvik/copyright"})
        EXPECT_TRUE(fs::exists(sRoot + pszFile)) << pszFile;

    // Started by its path, from a folder without orvik.xml and with none of Orvik on PATH: it
    // takes the menu unpacked beside it, and starts the preferences program unpacked beside it.
    std::string sHome = sWork + "/home";
    fs::create_directories(sHome);
    TmuxOptions options;
    options.sWorkDir = sHome;
    options.env = {{"HOME", sHome}, {"ORVIKLOGFILE", sWork + "/OrvikLog.txt"},
                   {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"}};
    TmuxSession session(ShellQuote(sRoot + "/usr/bin/orvik") + " -d " + ShellQuote(sHome),
                        options);
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();
    EXPECT_TRUE(session.WaitFor("File System Browser"));
    ASSERT_TRUE(session.WaitFor("Preferences"));
    std::size_t nRow = 0;
    for (int r = 1; r <= 24 && nRow == 0; r++)
        if (session.Line(r).find("Preferences") != std::string::npos) nRow = r;
    ASSERT_NE(nRow, 0u);
    session.Click(static_cast<int>(nRow),
                  static_cast<int>(session.Line(static_cast<int>(nRow)).find("Preferences")) + 2);
    ASSERT_TRUE(session.WaitFor("Orvik Preferences", 8000)) << session.Capture();
    session.SendKeys("Enter"); // Return
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();
}

} // namespace
