<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="it_IT">
    <context>
        <name>AboutBox</name>
        <message>
            <source>Desk: %1</source>
            <translation>Desk: %1</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>  Info</source>
            <translation>  Info</translation>
        </message>
    </context>
    <context>
        <name>ConfigDialog</name>
        <message>
            <source>Configuration</source>
            <translation>Configuration</translation>
        </message>
        <message>
            <source>PopUp on call</source>
            <translation>Pop up on call</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Annulla</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>Use SIP server</source>
            <translation>Use SIP server</translation>
        </message>
        <message>
            <source>IP address</source>
            <translation>IP address</translation>
        </message>
        <message>
            <source>User ID</source>
            <translation>User ID</translation>
        </message>
        <message>
            <source>Password</source>
            <translation>Password</translation>
        </message>
        <message>
            <source>Active</source>
            <translation>Active</translation>
        </message>
        <message>
            <source>Description</source>
            <translation>Description</translation>
        </message>
        <message>
            <source>Extension</source>
            <translation>Extension</translation>
        </message>
        <message>
            <source>Activation time unlock relay</source>
            <translation>Activation time unlock relay</translation>
        </message>
        <message>
            <source>Activation time light relay</source>
            <translation>Activation time light relay</translation>
        </message>
        <message>
            <source>The configuration could not be saved.

</source>
            <translation>The configuration could not be saved.

</translation>
        </message>
        <message>
            <source>(S)</source>
            <translation>(s)</translation>
        </message>
    </context>
    <context>
        <name>ConsoleApplication</name>
        <message>
            <source>The SIP engine program "%1" was not found or cannot be run.

Calls are not possible until it is installed (Debian package linphone-cli); the console looks for it again every half minute. The cameras and relays work.</source>
            <translation>The SIP engine program "%1" was not found or cannot be run.

Calls are not possible until it is installed (Debian package linphone-cli); the console looks for it again every half minute. The cameras and relays work.</translation>
        </message>
        <message>
            <source>Error</source>
            <translation>Error</translation>
        </message>
    </context>
    <context>
        <name>HistoryEvent</name>
        <message>
            <source>Incoming call</source>
            <translation>Incoming call</translation>
        </message>
        <message>
            <source>Outgoing call</source>
            <translation>Outgoing call</translation>
        </message>
        <message>
            <source>Door call</source>
            <translation>Door call</translation>
        </message>
        <message>
            <source>Door open</source>
            <translation>Door open</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Light</translation>
        </message>
        <message>
            <source>SIP engine</source>
            <translation>SIP engine</translation>
        </message>
        <message>
            <source>Ringing</source>
            <translation>Ringing</translation>
        </message>
        <message>
            <source>Calling</source>
            <translation>Calling</translation>
        </message>
        <message>
            <source>In call</source>
            <translation>In call</translation>
        </message>
        <message>
            <source>Answered</source>
            <translation>Answered</translation>
        </message>
        <message>
            <source>Missed</source>
            <translation>Missed</translation>
        </message>
        <message>
            <source>Rejected</source>
            <translation>Rejected</translation>
        </message>
        <message>
            <source>Not answered</source>
            <translation>Not answered</translation>
        </message>
        <message>
            <source>Ended</source>
            <translation>Ended</translation>
        </message>
        <message>
            <source>Sent</source>
            <translation>Sent</translation>
        </message>
        <message>
            <source>Failed</source>
            <translation>Failed</translation>
        </message>
        <message>
            <source>Lost</source>
            <translation>Lost</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>Back</translation>
        </message>
        <message>
            <source>Answered elsewhere</source>
            <translation>Answered elsewhere</translation>
        </message>
        <message>
            <source>Station %1</source>
            <translation>Station %1</translation>
        </message>
    </context>
    <context>
        <name>HistoryModel</name>
        <message>
            <source>Picture</source>
            <translation>Picture</translation>
        </message>
        <message>
            <source>Time</source>
            <translation>Time</translation>
        </message>
        <message>
            <source>Station</source>
            <translation>Station</translation>
        </message>
        <message>
            <source>Event</source>
            <translation>Event</translation>
        </message>
        <message>
            <source>Outcome</source>
            <translation>Outcome</translation>
        </message>
        <message>
            <source>Desk</source>
            <translation>Desk</translation>
        </message>
    </context>
    <context>
        <name>HistoryWindow</name>
        <message>
            <source>No image available</source>
            <translation>No image available</translation>
        </message>
        <message>
            <source>History</source>
            <translation>History</translation>
        </message>
        <message>
            <source>All</source>
            <translation>All</translation>
        </message>
        <message>
            <source>No station</source>
            <translation>No station</translation>
        </message>
        <message>
            <source>Day:</source>
            <translation>Day:</translation>
        </message>
        <message>
            <source>Export...</source>
            <translation>Export...</translation>
        </message>
        <message>
            <source>Station:</source>
            <translation>Station:</translation>
        </message>
        <message>
            <source>Event:</source>
            <translation>Event:</translation>
        </message>
        <message>
            <source>Station %1</source>
            <translation>Station %1</translation>
        </message>
        <message>
            <source>At ring</source>
            <translation>At ring</translation>
        </message>
        <message>
            <source>Picture</source>
            <translation>Picture</translation>
        </message>
        <message>
            <source>At answer</source>
            <translation>At answer</translation>
        </message>
        <message>
            <source>Export</source>
            <translation>Export</translation>
        </message>
        <message>
            <source>Exporting %1 events...</source>
            <translation>Exporting %1 events...</translation>
        </message>
        <message>
            <source>could not write %1 (%2)</source>
            <translation>could not write %1 (%2)</translation>
        </message>
        <message>
            <source>Exported %1 events and %2 pictures to %3</source>
            <translation>Exported %1 events and %2 pictures to %3</translation>
        </message>
        <message>
            <source>Export failed: %1</source>
            <translation>Export failed: %1</translation>
        </message>
        <message>
            <source>History server out of reach: showing this desk's events only.</source>
            <translation>History server out of reach: showing this desk's events only.</translation>
        </message>
        <message>
            <source>Desk:</source>
            <translation>Desk:</translation>
        </message>
        <message>
            <source>(no name)</source>
            <translation>(no name)</translation>
        </message>
        <message>
            <source>1 event</source>
            <translation>1 event</translation>
        </message>
        <message>
            <source>%1 events</source>
            <translation>%1 events</translation>
        </message>
        <message>
            <source>%1 is not a folder</source>
            <translation>%1 is not a folder</translation>
        </message>
    </context>
    <context>
        <name>IncomingCallAlert</name>
        <message>
            <source>Station %1</source>
            <translation>Station %1</translation>
        </message>
    </context>
    <context>
        <name>MainWindow</name>
        <message>
            <source>No image available</source>
            <translation>No image available</translation>
        </message>
        <message>
            <source>About</source>
            <translation>About</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>Settings</translation>
        </message>
        <message>
            <source>Microphone on or off</source>
            <translation>Microphone on or off</translation>
        </message>
        <message>
            <source>History</source>
            <translation>History</translation>
        </message>
        <message>
            <source>Telephone, station %1</source>
            <translation>Telephone, station %1</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Calls the station, answers its call (%1) or hangs up (%2)</translation>
        </message>
        <message>
            <source>Open the door, station %1</source>
            <translation>Open the door, station %1</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Opens the door</translation>
        </message>
        <message>
            <source>Light, station %1</source>
            <translation>Light, station %1</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Switches on the light</translation>
        </message>
        <message>
            <source>Camera, station %1</source>
            <translation>Camera, station %1</translation>
        </message>
        <message>
            <source>Click to enlarge</source>
            <translation>Click to enlarge</translation>
        </message>
    </context>
    <context>
        <name>MainWindowAdapter</name>
        <message>
            <source>- SIP engine not running </source>
            <translation>- SIP engine not running </translation>
        </message>
        <message>
            <source>- 1 missed call </source>
            <translation>- 1 missed call </translation>
        </message>
        <message>
            <source>- %1 missed calls </source>
            <translation>- %1 missed calls </translation>
        </message>
    </context>
    <context>
        <name>QtTrayIcon</name>
        <message>
            <source>Apri</source>
            <translation>Open</translation>
        </message>
        <message>
            <source>History</source>
            <translation>History</translation>
        </message>
        <message>
            <source>Esci</source>
            <translation>Exit</translation>
        </message>
    </context>
    <context>
        <name>RingPopup</name>
        <message>
            <source>Answer</source>
            <translation>Answer</translation>
        </message>
        <message>
            <source>Answers the call (%1 in the console's window)</source>
            <translation>Answers the call (%1 in the console's window)</translation>
        </message>
        <message>
            <source>Reject</source>
            <translation>Reject</translation>
        </message>
        <message>
            <source>Refuses the call (%1 in the console's window)</source>
            <translation>Refuses the call (%1 in the console's window)</translation>
        </message>
        <message>
            <source>Camera of the calling station</source>
            <translation>Camera of the calling station</translation>
        </message>
    </context>
    <context>
        <name>SplashWindow</name>
        <message>
            <source>Initialization...</source>
            <translation>Initialization...</translation>
        </message>
    </context>
    <context>
        <name>StartupSequence</name>
        <message>
            <source>This account may not read the configuration file %1. It holds the SIP password, so only the members of the group "%2" may read it.

Ask the installer to add this account to the group "%2", then log out and log in again.</source>
            <translation>This account may not read the configuration file %1. It holds the SIP password, so only the members of the group "%2" may read it.

Ask the installer to add this account to the group "%2", then log out and log in again.</translation>
        </message>
        <message>
            <source>The configuration file could not be read: %1</source>
            <translation>The configuration file could not be read: %1</translation>
        </message>
    </context>
    <context>
        <name>ZoomWindow</name>
        <message>
            <source>Telephone</source>
            <translation>Telephone</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Calls the station, answers its call (%1) or hangs up (%2)</translation>
        </message>
        <message>
            <source>Open the door</source>
            <translation>Open the door</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Opens the door</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Light</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Switches on the light</translation>
        </message>
        <message>
            <source>Camera</source>
            <translation>Camera</translation>
        </message>
        <message>
            <source>Click to close</source>
            <translation>Click to close</translation>
        </message>
        <message>
            <source>Zoom %1 - Click to close</source>
            <translation>Zoom %1 - Click to close</translation>
        </message>
    </context>
    <context>
        <name>main</name>
        <message>
            <source>QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.</source>
            <translation>QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.</translation>
        </message>
        <message>
            <source>Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.</source>
            <translation>Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.</translation>
        </message>
        <message>
            <source>Show the console in this language (%1) instead of the desktop's; the setting "language" in qzr.conf does the same.</source>
            <translation>Show the console in this language (%1) instead of the desktop's; the setting "language" in qzr.conf does the same.</translation>
        </message>
    </context>
</TS>
