#include "ConfigRecord.h"

ConfigRecord ConfigRecord::defaults()
{
    ConfigRecord record;
    record.active[0] = 1;
    record.ipAddress[0] = QStringLiteral("192.168.0.10");
    record.param(kLockRelayParam, 0) = 1;
    record.param(kLightRelayParam, 0) = 10;
    record.popupOnCall = 1;
    return record;
}
