#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

/// The console's whole configuration: the console settings and the station
/// table. One instance lives for the program's life; the fields are declared in
/// the order of the configuration file.
///
/// Every per-station field has 32 slots; stations 0..15 are used, slots 16..31
/// are carried unchanged from file to file.
struct ConfigRecord
{
    static constexpr int kSlots = 32;    ///< slots per per-station field
    static constexpr int kStations = 16; ///< stations the console serves (0..15)
    static constexpr int kParams = 11;   ///< parameters per station

    /// Station parameter indices with a meaning; 2..10 are carried unchanged.
    static constexpr int kLockRelayParam = 0;  ///< lock relay activation time, seconds
    static constexpr int kLightRelayParam = 1; ///< light relay activation time, seconds

    QString serverAddress;                                    ///< SIP server (PBX) address
    QString userId;                                           ///< SIP account user name
    QString password;                                         ///< SIP account password, stored in clear
    std::array<qint16, kSlots> active{};                      ///< non-zero: station is active
    std::array<QString, kSlots> ipAddress;                    ///< station IP address, as text
    std::array<QString, kSlots> extension;                    ///< station SIP extension
    std::array<std::array<qint16, kSlots>, kParams> params{}; ///< params[p][s]
    qint16 useSipServer = 0;                                  ///< non-zero: register and dial by extension
    std::array<QString, kSlots> description;                  ///< station description, as typed
    qint16 popupOnCall = 0;                                   ///< non-zero: a station's "CALL" brings the window back

    /// Parameter p (0..10) of station slot s (0..31).
    qint16& param(int p, int s) { return params[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)]; }
    qint16 param(int p, int s) const { return params[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)]; }

    /// The record used when there is no configuration file: only station 0
    /// ("192.168.0.10", lock 1 s, light 10 s) is active and the popup option is on.
    static ConfigRecord defaults();

    friend bool operator==(const ConfigRecord&, const ConfigRecord&) = default;
};
