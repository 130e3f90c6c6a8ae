// config.ini loader: any text loads or is refused without harm; a text that loads is saved,
// and loading and saving that again gives the same text.
#include "orviklib.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

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
