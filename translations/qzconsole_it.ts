<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT" sourcelanguage="it_IT">
    <context>
        <name>AboutBox</name>
        <message>
            <source>Desk: %1</source>
            <translation>Postazione: %1</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>Ok</translation>
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
            <translation>PopUp on call</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>Ok</translation>
        </message>
        <message>
            <source>Annulla</source>
            <translation>Annulla</translation>
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
            <translation>Non è stato possibile salvare la configurazione.

</translation>
        </message>
        <message>
            <source>(S)</source>
            <translation>(S)</translation>
        </message>
    </context>
    <context>
        <name>ConsoleApplication</name>
        <message>
            <source>The SIP engine program "%1" was not found or cannot be run.

Calls are not possible until it is installed (Debian package linphone-cli); the console looks for it again every half minute. The cameras and relays work.</source>
            <translation>Il programma del motore SIP "%1" non è stato trovato o non può essere avviato.

Le chiamate non sono possibili finché non è installato (pacchetto Debian linphone-cli); la console lo cerca di nuovo ogni mezzo minuto. Telecamere e relè funzionano.</translation>
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
            <translation>Chiamata in arrivo</translation>
        </message>
        <message>
            <source>Outgoing call</source>
            <translation>Chiamata in uscita</translation>
        </message>
        <message>
            <source>Door call</source>
            <translation>Chiamata dal varco</translation>
        </message>
        <message>
            <source>Door open</source>
            <translation>Apertura porta</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Luce</translation>
        </message>
        <message>
            <source>SIP engine</source>
            <translation>Motore SIP</translation>
        </message>
        <message>
            <source>Ringing</source>
            <translation>Squilla</translation>
        </message>
        <message>
            <source>Calling</source>
            <translation>In chiamata</translation>
        </message>
        <message>
            <source>In call</source>
            <translation>In conversazione</translation>
        </message>
        <message>
            <source>Answered</source>
            <translation>Risposta</translation>
        </message>
        <message>
            <source>Missed</source>
            <translation>Persa</translation>
        </message>
        <message>
            <source>Rejected</source>
            <translation>Rifiutata</translation>
        </message>
        <message>
            <source>Not answered</source>
            <translation>Senza risposta</translation>
        </message>
        <message>
            <source>Ended</source>
            <translation>Terminata</translation>
        </message>
        <message>
            <source>Sent</source>
            <translation>Inviato</translation>
        </message>
        <message>
            <source>Failed</source>
            <translation>Non riuscito</translation>
        </message>
        <message>
            <source>Lost</source>
            <translation>Perso</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>Ripristinato</translation>
        </message>
        <message>
            <source>Answered elsewhere</source>
            <translation>Risposta altrove</translation>
        </message>
        <message>
            <source>Station %1</source>
            <translation>Varco %1</translation>
        </message>
    </context>
    <context>
        <name>HistoryModel</name>
        <message>
            <source>Picture</source>
            <translation>Immagine</translation>
        </message>
        <message>
            <source>Time</source>
            <translation>Ora</translation>
        </message>
        <message>
            <source>Station</source>
            <translation>Varco</translation>
        </message>
        <message>
            <source>Event</source>
            <translation>Evento</translation>
        </message>
        <message>
            <source>Outcome</source>
            <translation>Esito</translation>
        </message>
        <message>
            <source>Desk</source>
            <translation>Postazione</translation>
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
            <translation>Cronologia</translation>
        </message>
        <message>
            <source>All</source>
            <translation>Tutti</translation>
        </message>
        <message>
            <source>No station</source>
            <translation>Nessun varco</translation>
        </message>
        <message>
            <source>Day:</source>
            <translation>Giorno:</translation>
        </message>
        <message>
            <source>Export...</source>
            <translation>Esporta...</translation>
        </message>
        <message>
            <source>Station:</source>
            <translation>Varco:</translation>
        </message>
        <message>
            <source>Event:</source>
            <translation>Evento:</translation>
        </message>
        <message>
            <source>Station %1</source>
            <translation>Varco %1</translation>
        </message>
        <message>
            <source>At ring</source>
            <translation>Allo squillo</translation>
        </message>
        <message>
            <source>Picture</source>
            <translation>Immagine</translation>
        </message>
        <message>
            <source>At answer</source>
            <translation>Alla risposta</translation>
        </message>
        <message>
            <source>Export</source>
            <translation>Esporta</translation>
        </message>
        <message>
            <source>Exporting %1 events...</source>
            <translation>Esportazione di %1 eventi...</translation>
        </message>
        <message>
            <source>could not write %1 (%2)</source>
            <translation>impossibile scrivere %1 (%2)</translation>
        </message>
        <message>
            <source>Exported %1 events and %2 pictures to %3</source>
            <translation>Esportati %1 eventi e %2 immagini in %3</translation>
        </message>
        <message>
            <source>Export failed: %1</source>
            <translation>Esportazione non riuscita: %1</translation>
        </message>
        <message>
            <source>History server out of reach: showing this desk's events only.</source>
            <translation>Server della cronologia non raggiungibile: sono mostrati solo gli eventi di questa postazione.</translation>
        </message>
        <message>
            <source>Desk:</source>
            <translation>Postazione:</translation>
        </message>
        <message>
            <source>(no name)</source>
            <translation>(senza nome)</translation>
        </message>
        <message>
            <source>1 event</source>
            <translation>1 evento</translation>
        </message>
        <message>
            <source>%1 events</source>
            <translation>%1 eventi</translation>
        </message>
        <message>
            <source>%1 is not a folder</source>
            <translation>%1 non è una cartella</translation>
        </message>
    </context>
    <context>
        <name>IncomingCallAlert</name>
        <message>
            <source>Station %1</source>
            <translation>Varco %1</translation>
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
            <translation>Informazioni</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>Impostazioni</translation>
        </message>
        <message>
            <source>Microphone on or off</source>
            <translation>Microfono acceso o spento</translation>
        </message>
        <message>
            <source>History</source>
            <translation>Cronologia</translation>
        </message>
        <message>
            <source>Telephone, station %1</source>
            <translation>Telefono, varco %1</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Chiama il varco, risponde alla sua chiamata (%1) o riaggancia (%2)</translation>
        </message>
        <message>
            <source>Open the door, station %1</source>
            <translation>Apri la porta, varco %1</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Apre la porta</translation>
        </message>
        <message>
            <source>Light, station %1</source>
            <translation>Luce, varco %1</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Accende la luce</translation>
        </message>
        <message>
            <source>Camera, station %1</source>
            <translation>Telecamera, varco %1</translation>
        </message>
        <message>
            <source>Click to enlarge</source>
            <translation>Clic per ingrandire</translation>
        </message>
    </context>
    <context>
        <name>MainWindowAdapter</name>
        <message>
            <source>- SIP engine not running </source>
            <translation>- Motore SIP non attivo </translation>
        </message>
        <message>
            <source>- 1 missed call </source>
            <translation>- 1 chiamata persa </translation>
        </message>
        <message>
            <source>- %1 missed calls </source>
            <translation>- %1 chiamate perse </translation>
        </message>
    </context>
    <context>
        <name>QtTrayIcon</name>
        <message>
            <source>Apri</source>
            <translation>Apri</translation>
        </message>
        <message>
            <source>History</source>
            <translation>Cronologia</translation>
        </message>
        <message>
            <source>Esci</source>
            <translation>Esci</translation>
        </message>
    </context>
    <context>
        <name>RingPopup</name>
        <message>
            <source>Answer</source>
            <translation>Rispondi</translation>
        </message>
        <message>
            <source>Answers the call (%1 in the console's window)</source>
            <translation>Risponde alla chiamata (%1 nella finestra della console)</translation>
        </message>
        <message>
            <source>Reject</source>
            <translation>Rifiuta</translation>
        </message>
        <message>
            <source>Refuses the call (%1 in the console's window)</source>
            <translation>Rifiuta la chiamata (%1 nella finestra della console)</translation>
        </message>
        <message>
            <source>Camera of the calling station</source>
            <translation>Telecamera del varco che chiama</translation>
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
            <translation>Questo account non può leggere il file di configurazione %1. Contiene la password SIP, quindi solo i membri del gruppo "%2" possono leggerlo.

Chiedere all'installatore di aggiungere questo account al gruppo "%2", poi uscire e rientrare nella sessione.</translation>
        </message>
        <message>
            <source>The configuration file could not be read: %1</source>
            <translation>Non è stato possibile leggere il file di configurazione: %1</translation>
        </message>
    </context>
    <context>
        <name>ZoomWindow</name>
        <message>
            <source>Telephone</source>
            <translation>Telefono</translation>
        </message>
        <message>
            <source>Calls the station, answers its call (%1) or hangs up (%2)</source>
            <translation>Chiama il varco, risponde alla sua chiamata (%1) o riaggancia (%2)</translation>
        </message>
        <message>
            <source>Open the door</source>
            <translation>Apri la porta</translation>
        </message>
        <message>
            <source>Opens the door</source>
            <translation>Apre la porta</translation>
        </message>
        <message>
            <source>Light</source>
            <translation>Luce</translation>
        </message>
        <message>
            <source>Switches on the light</source>
            <translation>Accende la luce</translation>
        </message>
        <message>
            <source>Camera</source>
            <translation>Telecamera</translation>
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
            <translation>QZ Video Console: immagini delle telecamere, relè porta e luce, chiamate dai varchi e citofono SIP di un massimo di 16 varchi. La configurazione qzp.cfg viene letta dalla cartella del programma.</translation>
        </message>
        <message>
            <source>Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.</source>
            <translation>Lavora nella cartella di stato dell'operatore (~/.local/state/qzconsole, creata 0700 se manca), così qz.log viene scritto lì: così la avviano il menu del desktop e la sessione.</translation>
        </message>
        <message>
            <source>Show the console in this language (%1) instead of the desktop's; the setting "language" in qzr.conf does the same.</source>
            <translation>Mostra la console in questa lingua (%1) invece di quella del desktop; l'impostazione "language" in qzr.conf fa lo stesso.</translation>
        </message>
    </context>
</TS>
