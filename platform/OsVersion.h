#pragma once

/// Version of the operating system as the console's start-up check sees it.
struct OsVersion
{
    int major = 0;
    int minor = 0;
};

/// The running system's version. Every Linux the console builds on is a
/// supported system, so this reports a version the start-up check accepts.
OsVersion queryOsVersion();
