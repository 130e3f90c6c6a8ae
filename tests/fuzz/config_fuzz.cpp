// config.ini loader: any text loads or is refused without harm; no line is ever read in
// pieces; a change saved into a text that loads touches that one line and keeps the others
// byte for byte; the whole text written anew, loaded and written again, is the same text.
#include "orviklib.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string sFirst, sSecond;

void Prepare() {
    char szFirst[] = "/tmp/orvik-fuzz-config-XXXXXX";
    char szSecond[] = "/tmp/orvik-fuzz-config-XXXXXX";
    if (mkdtemp(szFirst) == nullptr || mkdtemp(szSecond) == nullptr) abort();
    sFirst = szFirst;
    sSecond = szSecond;
    setenv("ORVIKLOGFILE", "/dev/null", 1);
}

std::string Read(const std::string &sPath) {
    std::ifstream in(sPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Write(const std::string &sPath, const uint8_t *pData, size_t nSize) {
    std::ofstream(sPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(pData), static_cast<std::streamsize>(nSize));
}

std::vector<std::string> Lines(const std::string &sText) {
    std::vector<std::string> asLine;
    std::size_t nPos = 0;
    while (nPos < sText.size()) {
        std::size_t nEnd = sText.find('\n', nPos);
        if (nEnd == std::string::npos) nEnd = sText.size();
        asLine.push_back(sText.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
    }
    return asLine;
}

/* Every system read comes from one whole line of at most 1022 characters. */
void CheckNothingReadFromPieces(const std::vector<std::string> &asInput) {
    for (int i = 0; i < nRemoteSystems; i++) {
        bool bFound = false;
        for (const std::string &sLine : asInput)
            if (sLine.size() <= 1022 && sLine.find(asRemoteSystem[i].szIP) != std::string::npos &&
                sLine.find(asRemoteSystem[i].szSystemName) != std::string::npos)
                bFound = true;
        if (!bFound) abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    if (sFirst.empty()) Prepare();
    static DISPLAYATTRIBUTES asDefaults[OVDISPLAYGROUPS];
    static bool bSaved = false;
    if (!bSaved) {
        std::copy(std::begin(asOVDisplayAttributes), std::end(asOVDisplayAttributes), asDefaults);
        bSaved = true;
    }
    std::copy(std::begin(asDefaults), std::end(asDefaults), asOVDisplayAttributes);

    Write(sFirst + "/config.ini", pData, nSize);
    setenv("ORVIKDIR", sFirst.c_str(), 1);
    if (LoadConfigurationValues() != OVRC_OK) {
        /* Refused: a save must leave the file exactly as it was. */
        if (SaveConfigurationValues() == OVRC_OK) abort();
        if (Read(sFirst + "/config.ini") !=
            std::string(reinterpret_cast<const char *>(pData), nSize))
            abort();
        return 0;
    }
    const std::string sInput(reinterpret_cast<const char *>(pData), nSize);
    const std::vector<std::string> asInput = Lines(sInput);
    CheckNothingReadFromPieces(asInput);

    /* One colour changed: that line is rewritten (or one added), every other stays. */
    int &nColor = asOVDisplayAttributes[OVDG_PANEL].nForegroundColor;
    nColor = (nColor + 1) % 8;
    if (SaveConfigurationValues() != OVRC_OK) abort();
    const std::vector<std::string> asOutput = Lines(Read(sFirst + "/config.ini"));
    const std::string sWritten = std::string("PanelForegroundColor      is ") + OVCOLORLIT[nColor];
    if (asOutput.size() != asInput.size() && asOutput.size() != asInput.size() + 1) abort();
    std::size_t nDiffering = 0;
    for (std::size_t i = 0; i < asOutput.size(); i++)
        if (i >= asInput.size() || asOutput[i] != asInput[i]) {
            if (asOutput[i] != sWritten) abort();
            nDiffering++;
        }
    if (nDiffering != 1) abort();
    if (LoadConfigurationValues() != OVRC_OK) abort();

    /* The normal form: written to a second folder, where nothing was loaded from. */
    setenv("ORVIKDIR", sSecond.c_str(), 1);
    if (SaveConfigurationValues() != OVRC_OK) abort();
    std::string sSaved = Read(sSecond + "/config.ini");

    /* Loading the normal form and saving it elsewhere gives it back unchanged. */
    if (LoadConfigurationValues() != OVRC_OK) abort();
    setenv("ORVIKDIR", sFirst.c_str(), 1);
    if (SaveConfigurationValues() != OVRC_OK) abort();
    if (Read(sFirst + "/config.ini") != sSaved) abort();
    return 0;
}
