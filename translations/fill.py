#!/usr/bin/env python3
"""Writes the translations below into the catalogues lupdate made (qzconsole_*.ts).

Run after `cmake --build build --target update_translations` when a shown text was added:
a text missing here stays unfinished and the catalogue test names it.
"""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

SAME = None  # the Italian catalogue keeps the system's own texts exactly as they stand

# source: (it, en, de)
T = {
    "Desk: %1": ("Postazione: %1", "Desk: %1", "Arbeitsplatz: %1"),
    "Ok": (SAME, "OK", "OK"),
    "Configuration": (SAME, "Configuration", "Konfiguration"),
    "PopUp on call": (SAME, "Pop up on call", "Bei Anruf einblenden"),
    "Annulla": (SAME, "Cancel", "Abbrechen"),
    "Use SIP server": (SAME, "Use SIP server", "SIP-Server verwenden"),
    "IP address": (SAME, "IP address", "IP-Adresse"),
    "User ID": (SAME, "User ID", "Benutzer-ID"),
    "Password": (SAME, "Password", "Passwort"),
    "Active": (SAME, "Active", "Aktiv"),
    "Description": (SAME, "Description", "Beschreibung"),
    "Extension": (SAME, "Extension", "Nebenstelle"),
    "Activation time unlock relay": (SAME, "Activation time unlock relay", "Schaltzeit Türöffner-Relais"),
    "Activation time light relay": (SAME, "Activation time light relay", "Schaltzeit Licht-Relais"),
    "The configuration could not be saved.\n\n": (
        "Non è stato possibile salvare la configurazione.\n\n",
        "The configuration could not be saved.\n\n",
        "Die Konfiguration konnte nicht gespeichert werden.\n\n"),
    "The SIP engine program \"%1\" was not found or cannot be run.\n\nCalls are not possible until it is installed (Debian package linphone-cli); the console looks for it again every half minute. The cameras and relays work.": (
        "Il programma del motore SIP \"%1\" non è stato trovato o non può essere avviato.\n\nLe chiamate non sono possibili finché non è installato (pacchetto Debian linphone-cli); la console lo cerca di nuovo ogni mezzo minuto. Telecamere e relè funzionano.",
        "The SIP engine program \"%1\" was not found or cannot be run.\n\nCalls are not possible until it is installed (Debian package linphone-cli); the console looks for it again every half minute. The cameras and relays work.",
        "Das Programm der SIP-Engine \"%1\" wurde nicht gefunden oder kann nicht gestartet werden.\n\nAnrufe sind erst möglich, wenn es installiert ist (Debian-Paket linphone-cli); die Konsole sucht es jede halbe Minute erneut. Kameras und Relais funktionieren."),
    "Error": (SAME, "Error", "Fehler"),
    "Incoming call": ("Chiamata in arrivo", "Incoming call", "Eingehender Anruf"),
    "Outgoing call": ("Chiamata in uscita", "Outgoing call", "Ausgehender Anruf"),
    "Door call": ("Chiamata dal varco", "Door call", "Türruf"),
    "Door open": ("Apertura porta", "Door open", "Tür geöffnet"),
    "Light": ("Luce", "Light", "Licht"),
    "SIP engine": ("Motore SIP", "SIP engine", "SIP-Engine"),
    "Ringing": ("Squilla", "Ringing", "Klingelt"),
    "Calling": ("In chiamata", "Calling", "Wählt"),
    "In call": ("In conversazione", "In call", "Im Gespräch"),
    "Answered": ("Risposta", "Answered", "Angenommen"),
    "Missed": ("Persa", "Missed", "Verpasst"),
    "Rejected": ("Rifiutata", "Rejected", "Abgewiesen"),
    "Not answered": ("Senza risposta", "Not answered", "Nicht angenommen"),
    "Ended": ("Terminata", "Ended", "Beendet"),
    "Sent": ("Inviato", "Sent", "Gesendet"),
    "Failed": ("Non riuscito", "Failed", "Fehlgeschlagen"),
    "Lost": ("Perso", "Lost", "Ausgefallen"),
    "Back": ("Ripristinato", "Back", "Wieder da"),
    "Answered elsewhere": ("Risposta altrove", "Answered elsewhere", "Anderswo angenommen"),
    "Station %1": ("Varco %1", "Station %1", "Station %1"),
    "Picture": ("Immagine", "Picture", "Bild"),
    "Time": ("Ora", "Time", "Zeit"),
    "Station": ("Varco", "Station", "Station"),
    "Event": ("Evento", "Event", "Ereignis"),
    "Outcome": ("Esito", "Outcome", "Ergebnis"),
    "No image available": (SAME, "No image available", "Kein Bild verfügbar"),
    "History": ("Cronologia", "History", "Verlauf"),
    "All": ("Tutti", "All", "Alle"),
    "No station": ("Nessun varco", "No station", "Keine Station"),
    "Day:": ("Giorno:", "Day:", "Tag:"),
    "Export...": ("Esporta...", "Export...", "Exportieren..."),
    "Station:": ("Varco:", "Station:", "Station:"),
    "Event:": ("Evento:", "Event:", "Ereignis:"),
    "At ring": ("Allo squillo", "At ring", "Beim Klingeln"),
    "At answer": ("Alla risposta", "At answer", "Bei der Annahme"),
    "Export": ("Esporta", "Export", "Exportieren"),
    "Exporting %1 events...": ("Esportazione di %1 eventi...", "Exporting %1 events...", "%1 Ereignisse werden exportiert..."),
    "could not write %1 (%2)": ("impossibile scrivere %1 (%2)", "could not write %1 (%2)", "%1 konnte nicht geschrieben werden (%2)"),
    "Exported %1 events and %2 pictures to %3": (
        "Esportati %1 eventi e %2 immagini in %3", "Exported %1 events and %2 pictures to %3",
        "%1 Ereignisse und %2 Bilder nach %3 exportiert"),
    "Export failed: %1": ("Esportazione non riuscita: %1", "Export failed: %1", "Export fehlgeschlagen: %1"),
    "About": ("Informazioni", "About", "Über"),
    "Settings": ("Impostazioni", "Settings", "Einstellungen"),
    "Microphone on or off": ("Microfono acceso o spento", "Microphone on or off", "Mikrofon ein oder aus"),
    "Telephone, station %1": ("Telefono, varco %1", "Telephone, station %1", "Telefon, Station %1"),
    "Calls the station, answers its call (%1) or hangs up (%2)": (
        "Chiama il varco, risponde alla sua chiamata (%1) o riaggancia (%2)",
        "Calls the station, answers its call (%1) or hangs up (%2)",
        "Ruft die Station an, nimmt ihren Anruf an (%1) oder legt auf (%2)"),
    "Open the door, station %1": ("Apri la porta, varco %1", "Open the door, station %1", "Tür öffnen, Station %1"),
    "Opens the door": ("Apre la porta", "Opens the door", "Öffnet die Tür"),
    "Light, station %1": ("Luce, varco %1", "Light, station %1", "Licht, Station %1"),
    "Switches on the light": ("Accende la luce", "Switches on the light", "Schaltet das Licht ein"),
    "Camera, station %1": ("Telecamera, varco %1", "Camera, station %1", "Kamera, Station %1"),
    "Click to enlarge": ("Clic per ingrandire", "Click to enlarge", "Zum Vergrößern klicken"),
    "- SIP engine not running ": ("- Motore SIP non attivo ", "- SIP engine not running ", "- SIP-Engine läuft nicht "),
    "- 1 missed call ": ("- 1 chiamata persa ", "- 1 missed call ", "- 1 verpasster Anruf "),
    "- %1 missed calls ": ("- %1 chiamate perse ", "- %1 missed calls ", "- %1 verpasste Anrufe "),
    "Apri": (SAME, "Open", "Öffnen"),
    "Esci": (SAME, "Exit", "Beenden"),
    "Answer": ("Rispondi", "Answer", "Annehmen"),
    "Answers the call (%1 in the console's window)": (
        "Risponde alla chiamata (%1 nella finestra della console)",
        "Answers the call (%1 in the console's window)",
        "Nimmt den Anruf an (%1 im Fenster der Konsole)"),
    "Reject": ("Rifiuta", "Reject", "Abweisen"),
    "Refuses the call (%1 in the console's window)": (
        "Rifiuta la chiamata (%1 nella finestra della console)",
        "Refuses the call (%1 in the console's window)",
        "Weist den Anruf ab (%1 im Fenster der Konsole)"),
    "Camera of the calling station": ("Telecamera del varco che chiama", "Camera of the calling station", "Kamera der rufenden Station"),
    "This account may not read the configuration file %1. It holds the SIP password, so only the members of the group \"%2\" may read it.\n\nAsk the installer to add this account to the group \"%2\", then log out and log in again.": (
        "Questo account non può leggere il file di configurazione %1. Contiene la password SIP, quindi solo i membri del gruppo \"%2\" possono leggerlo.\n\nChiedere all'installatore di aggiungere questo account al gruppo \"%2\", poi uscire e rientrare nella sessione.",
        "This account may not read the configuration file %1. It holds the SIP password, so only the members of the group \"%2\" may read it.\n\nAsk the installer to add this account to the group \"%2\", then log out and log in again.",
        "Dieses Konto darf die Konfigurationsdatei %1 nicht lesen. Sie enthält das SIP-Passwort, daher dürfen nur die Mitglieder der Gruppe \"%2\" sie lesen.\n\nBitten Sie den Installateur, dieses Konto der Gruppe \"%2\" hinzuzufügen, und melden Sie sich dann ab und wieder an."),
    "Desk": ("Postazione", "Desk", "Arbeitsplatz"),
    "Desk:": ("Postazione:", "Desk:", "Arbeitsplatz:"),
    "(no name)": ("(senza nome)", "(no name)", "(ohne Namen)"),
    "History server out of reach: showing this desk's events only.": (
        "Server della cronologia non raggiungibile: sono mostrati solo gli eventi di questa postazione.",
        "History server out of reach: showing this desk's events only.",
        "Verlaufsserver nicht erreichbar: nur die Ereignisse dieses Arbeitsplatzes werden gezeigt."),
    "1 event": ("1 evento", "1 event", "1 Ereignis"),
    "%1 events": ("%1 eventi", "%1 events", "%1 Ereignisse"),
    "%1 is not a folder": ("%1 non è una cartella", "%1 is not a folder", "%1 ist kein Ordner"),
    "  Info": (SAME, "  Info", "  Info"),
    "The configuration file could not be read: %1": (
        "Non è stato possibile leggere il file di configurazione: %1",
        "The configuration file could not be read: %1",
        "Die Konfigurationsdatei konnte nicht gelesen werden: %1"),
    "(S)": (SAME, "(s)", "(s)"),
    "Initialization...": (SAME, "Initialization...", "Initialisierung..."),
    "Telephone": ("Telefono", "Telephone", "Telefon"),
    "Open the door": ("Apri la porta", "Open the door", "Tür öffnen"),
    "Camera": ("Telecamera", "Camera", "Kamera"),
    "Click to close": (SAME, "Click to close", "Zum Schließen klicken"),
    "Zoom %1 - Click to close": (SAME, "Zoom %1 - Click to close", "Zoom %1 - Zum Schließen klicken"),
    "QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.": (
        "QZ Video Console: immagini delle telecamere, relè porta e luce, chiamate dai varchi e citofono SIP di un massimo di 16 varchi. La configurazione qzp.cfg viene letta dalla cartella del programma.",
        "QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.",
        "QZ Video Console: Kamerabilder, Tür- und Lichtrelais, Türrufe und die SIP-Sprechanlage von bis zu 16 Türstationen. Die Konfiguration qzp.cfg wird aus dem Verzeichnis des Programms gelesen."),
    "Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.": (
        "Lavora nella cartella di stato dell'operatore (~/.local/state/qzconsole, creata 0700 se manca), così qz.log viene scritto lì: così la avviano il menu del desktop e la sessione.",
        "Run in the operator's state directory (~/.local/state/qzconsole, made 0700 if missing), so qz.log is written there: how the desktop menu and the session start it.",
        "Im Zustandsverzeichnis des Bedieners arbeiten (~/.local/state/qzconsole, mit 0700 angelegt, falls es fehlt), damit qz.log dort geschrieben wird: so starten sie das Desktop-Menü und die Sitzung."),
    "Show the console in this language (%1) instead of the desktop's; the setting \"language\" in qzr.conf does the same.": (
        "Mostra la console in questa lingua (%1) invece di quella del desktop; l'impostazione \"language\" in qzr.conf fa lo stesso.",
        "Show the console in this language (%1) instead of the desktop's; the setting \"language\" in qzr.conf does the same.",
        "Die Konsole in dieser Sprache (%1) statt der des Desktops zeigen; die Einstellung \"language\" in qzr.conf bewirkt dasselbe."),
}

LANGS = {"it": (0, "it_IT"), "en": (1, "en_GB"), "de": (2, "de_DE")}


def fill(path: Path, lang: str) -> list[str]:
    column, locale = LANGS[lang]
    tree = ET.parse(path)
    root = tree.getroot()
    root.set("language", locale)
    root.set("sourcelanguage", "it_IT")
    missing = []
    for message in root.iter("message"):
        source = message.find("source").text or ""
        translation = message.find("translation")
        if source not in T:
            missing.append(source)
            continue
        text = T[source][column]
        translation.text = source if text is SAME else text
        translation.attrib.pop("type", None)
    ET.indent(tree, space="    ")
    with open(path, "wb") as out:
        out.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        tree.write(out, encoding="utf-8", xml_declaration=False)
        out.write(b"\n")
    return missing


if __name__ == "__main__":
    here = Path(__file__).resolve().parent
    unknown = set()
    for lang in LANGS:
        unknown.update(fill(here / f"qzconsole_{lang}.ts", lang))
    for text in sorted(unknown):
        print("no translation for:", repr(text), file=sys.stderr)
    sys.exit(1 if unknown else 0)
