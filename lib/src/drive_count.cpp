// Recording a new number of emulated drives for the programs and for the
// port host, which reads its copy (and the first drive letter, when one is
// given) at its next start.
#include "catalogue_store.h"
#include "drives/drive_letters.h"
#include "qpxdrv.h"

using namespace qpx::lib;

extern "C" int QPXChangeNumberOfDrives(uint32_t count, char first_letter) {
    if (count == 0 || count == static_cast<uint32_t>(QPXGetNumberOfUnits())) return kWriteOk;
    int result = write_dword("NumberOfCDROMs", count);
    if (int r = write_dword(kDriverServiceKey, "NumberOfCDROMs", count); r != kWriteOk) return r;
    if (const char letter = qpx::drives::normalise_letter(first_letter)) {
        if (int r = write_text(kDriverServiceKey, "FirstDriveLetter", std::string(1, letter)); r != kWriteOk)
            return r;
    }
    return result;
}
