<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="it_IT">
    <context>
        <name>AboutBox</name>
        <message>
            <source>Desk: %1</source>
            <translation>Arbeitsplatz: %1</translation>
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
            <translation>Konfiguration</translation>
        </message>
        <message>
            <source>PopUp on call</source>
            <translation>Bei Anruf einblenden</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Annulla</source>
            <translation>Abbrechen</translation>
        </message>
        <message>
            <source>Use SIP server</source>
            <translation>SIP-Server verwenden</translation>
        </message>
        <message>
            <source>IP address</source>
            <translation>IP-Adresse</translation>
        </message>
        <message>
            <source>User ID</source>
            <translation>Benutzer-ID</translation>
        </message>
        <message>
            <source>Password</source>
            <translation>Passwort</translation>
        </message>
        <message>
            <source>Active</source>
            <translation>Aktiv</translation>
        </message>
        <message>
            <source>Description</source>
            <translation>Beschreibung</translation>
        </message>
        <message>
            <source>Extension</source>
            <translation>Nebenstelle</translation>
        </message>
        <message>
            <source>Activation time unlock relay</source>
            <translation>Schaltzeit Türöffner-Relais</translation>
        </message>
        <message>
            <source>Activation time light relay</source>
            <translation>Schaltzeit Licht-Relais</translation>
        </message>
        <message>
            <source>The configuration could not be saved.

</source>
            <translation>Die Konfiguration konnte nicht gespeichert werden.

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
            <translation>Das Programm der SIP-Engine "%1" wurde nicht gefunden oder kann nicht gestartet werden.

Anrufe sind erst möglich, wenn es installiert ist (Debian-Paket linphone-cli); die Konsole sucht es jede halbe Minute erneut. Kameras und Relais funktionieren.</translation>
        </message>
        <message>
            <source>Error</source>
            <translation>Fehler</translation>
        </message>
    </context>
    <context>
        <name>HistoryEvent</name>
        <message>
            <source>Incoming call</source>
            <translation>Eingehender Anruf</translation>
        </message>
        <message>
            <source>Outgoing call</source>
            <translation>Ausgehender Anruf</translation>
        </message>
        <message>
            <source>Door call</source>
            <translation>Türruf</translation>
        </message>
        <message>
            <source>Door open</source>
            <translation>Tür geöffnet</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Licht</translation>
        </message>
        <message>
            <source>SIP engine</source>
            <translation>SIP-Engine</translation>
        </message>
        <message>
            <source>Ringing</source>
            <translation>Klingelt</translation>
        </message>
        <message>
            <source>Calling</source>
            <translation>Wählt</translation>
        </message>
        <message>
            <source>In call</source>
            <translation>Im Gespräch</translation>
        </message>
        <message>
            <source>Answered</source>
            <translation>Angenommen</translation>
        </message>
        <message>
            <source>Missed</source>
            <translation>Verpasst</translation>
        </message>
        <message>
            <source>Rejected</source>
            <translation>Abgewiesen</translation>
        </message>
        <message>
            <source>Not answered</source>
            <translation>Nicht angenommen</translation>
        </message>
        <message>
            <source>Ended</source>
            <translation>Beendet</translation>
        </message>
        <message>
            <source>Sent</source>
            <translation>Gesendet</translation>
        </message>
        <message>
            <source>Failed</source>
            <translation>Fehlgeschlagen</translation>
        </message>
        <message>
            <source>Lost</source>
            <translation>Ausgefallen</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>Wieder da</translation>
        </message>
        <message>
            <source>Answered elsewhere</source>
            <translation>Anderswo angenommen</translation>
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
            <translation>Bild</translation>
        </message>
        <message>
            <source>Time</source>
            <translation>Zeit</translation>
        </message>
        <message>
            <source>Station</source>
            <translation>Station</translation>
        </message>
        <message>
            <source>Event</source>
            <translation>Ereignis</translation>
        </message>
        <message>
            <source>Outcome</source>
            <translation>Ergebnis</translation>
        </message>
        <message>
            <source>Desk</source>
            <translation>Arbeitsplatz</translation>
        </message>
    </context>
    <context>
        <name>HistoryWindow</name>
        <message>
            <source>No image available</source>
            <translation>Kein Bild verfügbar</translation>
        </message>
        <message>
            <source>History</source>
            <translation>Verlauf</translation>
        </message>
        <message>
            <source>All</source>
            <translation>Alle</translation>
        </message>
        <message>
            <source>No station</source>
            <translation>Keine Station</translation>
        </message>
        <message>
            <source>Day:</source>
            <translation>Tag:</translation>
        </message>
        <message>
            <source>Export...</source>
            <translation>Exportieren...</translation>
        </message>
        <message>
            <source>Station:</source>
            <translation>Station:</translation>
        </message>
        <message>
            <source>Event:</source>
            <translation>Ereignis:</translation>
        </message>
        <message>
            <source>Station %1</source>
            <translation>Station %1</translation>
        </message>
        <message>
            <source>At ring</source>
            <translation>Beim Klingeln</translation>
        </message>
        <message>
            <source>Picture</source>
            <translation>Bild</translation>
        </message>
        <message>
            <source>At answer</source>
            <translation>Bei der Annahme</translation>
        </message>
        <message>
            <source>Export</source>
            <translation>Exportieren</translation>
        </message>
        <message>
            <source>Exporting %1 events...</source>
            <translation>%1 Ereignisse werden exportiert...</translation>
        </message>
        <message>
            <source>could not write %1 (%2)</source>
            <translation>%1 konnte nicht geschrieben werden (%2)</translation>
        </message>
        <message>
            <source>Exported %1 events and %2 pictures to %3</source>
            <translation>%1 Ereignisse und %2 Bilder nach %3 exportiert</translation>
        </message>
        <message>
            <source>Export failed: %1</source>
            <translation>Export fehlgeschlagen: %1</translation>
        </message>
        <message>
            <source>History server out of reach: showing this desk's events only.</source>
            <translation>Verlaufsserver nicht erreichbar: nur die Ereignisse dieses Arbeitsplatzes werden gezeigt.</translation>
        </message>
        <message>
            <source>Desk:</source>
            <translation>Arbeitsplatz:</translation>
        </message>
        <message>
            <source>(no name)</source>
            <translation>(ohne Namen)</translation>
        </message>
        <message>
            <source>1 event</source>
            <translation>1 Ereignis</translation>
        </message>
        <message>
            <source>%1 events</source>
            <translation>%1 Ereignisse</translation>
        </message>
        <message>
            <source>%1 is not a folder</source>
            <translation>%1 ist kein Ordner</translation>
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
            <translation>Kein Bild verfügbar</translation>
        </message>
        <message>
            <source>About</source>
            <translation>Über</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>Einstellungen</translation>
        </message>
        <message>
            <source>Microphone on or off</source>
            <translation>Mikrofon ein oder aus</translation>
        </message>
        <message>
            <source>History</source>
            <translation>Verlauf</translation>
        </message>
        <message>
            <source>Telephone, station %1</source>
            <translation>Telefon, Station %1</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Ruft die Station an, nimmt ihren Anruf an (%1) oder legt auf (%2)</translation>
        </message>
        <message>
            <source>Open the door, station %1</source>
            <translation>Tür öffnen, Station %1</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Öffnet die Tür</translation>
        </message>
        <message>
            <source>Light, station %1</source>
            <translation>Licht, Station %1</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Schaltet das Licht ein</translation>
        </message>
        <message>
            <source>Camera, station %1</source>
            <translation>Kamera, Station %1</translation>
        </message>
        <message>
            <source>Click to enlarge</source>
            <translation>Zum Vergrößern klicken</translation>
        </message>
    </context>
    <context>
        <name>MainWindowAdapter</name>
        <message>
            <source>- SIP engine not running </source>
            <translation>- SIP-Engine läuft nicht </translation>
        </message>
        <message>
            <source>- 1 missed call </source>
            <translation>- 1 verpasster Anruf </translation>
        </message>
        <message>
            <source>- %1 missed calls </source>
            <translation>- %1 verpasste Anrufe </translation>
        </message>
    </context>
    <context>
        <name>QtTrayIcon</name>
        <message>
            <source>Apri</source>
            <translation>Öffnen</translation>
        </message>
        <message>
            <source>History</source>
            <translation>Verlauf</translation>
        </message>
        <message>
            <source>Esci</source>
            <translation>Beenden</translation>
        </message>
    </context>
    <context>
        <name>RingPopup</name>
        <message>
            <source>Answer</source>
            <translation>Annehmen</translation>
        </message>
        <message>
            <source>Answers the call (%1 in the console's window)</source>
            <translation>Nimmt den Anruf an (%1 im Fenster der Konsole)</translation>
        </message>
        <message>
            <source>Reject</source>
            <translation>Abweisen</translation>
        </message>
        <message>
            <source>Refuses the call (%1 in the console's window)</source>
            <translation>Weist den Anruf ab (%1 im Fenster der Konsole)</translation>
        </message>
        <message>
            <source>Camera of the calling station</source>
            <translation>Kamera der rufenden Station</translation>
        </message>
    </context>
    <context>
        <name>SplashWindow</name>
        <message>
            <source>Initialization...</source>
            <translation>Initialisierung...</translation>
        </message>
    </context>
    <context>
        <name>StartupSequence</name>
        <message>
            <source>This account may not read the configuration file %1. It holds the SIP password, so only the members of the group "%2" may read it.

Ask the installer to add this account to the group "%2", then log out and log in again.</source>
            <translation>Dieses Konto darf die Konfigurationsdatei %1 nicht lesen. Sie enthält das SIP-Passwort, daher dürfen nur die Mitglieder der Gruppe "%2" sie lesen.

Bitten Sie den Installateur, dieses Konto der Gruppe "%2" hinzuzufügen, und melden Sie sich dann ab und wieder an.</translation>
        </message>
        <message>
            <source>The configuration file could not be read: %1</source>
            <translation>Die Konfigurationsdatei konnte nicht gelesen werden: %1</translation>
        </message>
    </context>
    <context>
        <name>ZoomWindow</name>
        <message>
            <source>Telephone</source>
            <translation>Telefon</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Ruft die Station an, nimmt ihren Anruf an (%1) oder legt auf (%2)</translation>
        </message>
        <message>
            <source>Open the door</source>
            <translation>Tür öffnen</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Öffnet die Tür</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Licht</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Schaltet das Licht ein</translation>
        </message>
        <message>
            <source>Camera</source>
            <translation>Kamera</translation>
        </message>
        <message>
            <source>Click to close</source>
            <translation>Zum Schließen klicken</translation>
        </message>
        <message>
            <source>Zoom %1 - Click to close</source>
            <translation>Zoom %1 - Zum Schließen klicken</translation>
        </message>
    </context>
    <context>
        <name>main</name>
        <message>
            <source>QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.</source>
            <translation>QZ Video Console: Kamerabilder, Tür- und Lichtrelais, Türrufe und die SIP-Sprechanlage von bis zu 16 Türstationen. Die Konfiguration qzp.cfg wird aus dem Verzeichnis des Programms gelesen.</translation>
        </message>
        <message>
            <source>Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.</source>
            <translation>Im Zustandsverzeichnis des Bedieners arbeiten (~/.local/state/qzconsole, mit 0700 angelegt, falls es fehlt), damit qz.log dort geschrieben wird: so starten sie das Desktop-Menü und die Sitzung.</translation>
        </message>
        <message>
            <source>Show the console in this language (%1) instead of the desktop's; the setting "language" in qzr.conf does the same.</source>
            <translation>Die Konsole in dieser Sprache (%1) statt der des Desktops zeigen; die Einstellung "language" in qzr.conf bewirkt dasselbe.</translation>
        </message>
    </context>
</TS>
