// Recording a new number of emulated drives for the programs and for the
// port host, which reads its copy at its next start.
#include "catalogue_store.h"
#include "qpxdrv.h"

using namespace qpx::lib;

extern "C" int QPXChangeNumberOfDrives(uint32_t count, char /*first_letter: letters are assigned by the port host*/) {
    if (count == 0 || count == static_cast<uint32_t>(QPXGetNumberOfUnits())) return kWriteOk;
    int result = write_dword("NumberOfCDROMs", count);
    if (int r = write_dword(kDriverServiceKey, "NumberOfCDROMs", count); r != kWriteOk) return r;
    return result;
}
