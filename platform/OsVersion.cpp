#include "OsVersion.h"

OsVersion queryOsVersion()
{
    // The check exists to refuse systems older than the console's first
    // supported one; on Linux there is no such older system to refuse.
    return OsVersion{10, 0};
}
