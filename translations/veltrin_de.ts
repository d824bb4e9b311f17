<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>veltrin</name>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 gibt es nicht.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>%1 cannot be written.</source>
        <translation>In %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>%1 cannot be removed.</source>
        <translation>%1 kann nicht entfernt werden.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>veltrin::DownloadDelegate</name>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Im Ordner zeigen</translation>
    </message>
    <message>
        <source>Remove from list</source>
        <translation>Aus der Liste entfernen</translation>
    </message>
</context>
<context>
    <name>veltrin::Downloads</name>
    <message>
        <source>%1, %2% done</source>
        <translation>%1, %2 % erledigt</translation>
    </message>
    <message>
        <source>Queued</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Paused at %1</source>
        <translation>Angehalten bei %1</translation>
    </message>
    <message>
        <source>Retrying (attempt %1): %2</source>
        <translation>Neuer Versuch (Nr. %1): %2</translation>
    </message>
    <message>
        <source>Finished, %1</source>
        <translation>Fertig, %1</translation>
    </message>
    <message>
        <source>Finished, %1; the file is no longer there</source>
        <translation>Fertig, %1; die Datei ist nicht mehr da</translation>
    </message>
    <message>
        <source>Failed: %1; %2 kept, Retry goes on from there</source>
        <translation>Fehlgeschlagen: %1; %2 behalten, „Erneut versuchen“ macht dort weiter</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Downloading in another Veltrin window</source>
        <translation>Wird in einem anderen Veltrin-Fenster heruntergeladen</translation>
    </message>
    <message>
        <source>Converting to MP3…</source>
        <translation>Wird in MP3 umgewandelt…</translation>
    </message>
    <message>
        <source>Copying the sound…</source>
        <translation>Der Ton wird kopiert…</translation>
    </message>
    <message>
        <source>This video has no sound to keep</source>
        <translation>Dieses Video hat keinen Ton zum Behalten</translation>
    </message>
</context>
<context>
    <name>veltrin::DownloadsWindow</name>
    <message>
        <source>Downloads - Veltrin</source>
        <translation>Downloads - Veltrin</translation>
    </message>
    <message>
        <source>Clear finished</source>
        <translation>Fertige entfernen</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>%1 is no longer there.</source>
        <translation>%1 ist nicht mehr da.</translation>
    </message>
    <message>
        <source>No program on this desktop opens %1.</source>
        <translation>Kein Programm auf diesem Desktop öffnet %1.</translation>
    </message>
</context>
<context>
    <name>veltrin::LinkListDialog</name>
    <message>
        <source>The video</source>
        <translation>Das Video</translation>
    </message>
    <message>
        <source>The sound only</source>
        <translation>Nur den Ton</translation>
    </message>
    <message>
        <source>The sound as MP3</source>
        <translation>Den Ton als MP3</translation>
    </message>
    <message>
        <source>Download these videos</source>
        <translation>Diese Videos herunterladen</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>The best</source>
        <translation>Die beste</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Durchsuchen…</translation>
    </message>
    <message>
        <source>Download the videos into</source>
        <translation>Die Videos herunterladen nach</translation>
    </message>
    <message>
        <source>&amp;Quality for all:</source>
        <translation>&amp;Qualität für alle:</translation>
    </message>
    <message>
        <source>&amp;Keep for all:</source>
        <translation>&amp;Behalten für alle:</translation>
    </message>
    <message>
        <source>&amp;Folder:</source>
        <translation>&amp;Ordner:</translation>
    </message>
    <message>
        <source>Download all</source>
        <translation>Alle herunterladen</translation>
    </message>
    <message>
        <source>Fetching its page…</source>
        <translation>Seite wird abgerufen…</translation>
    </message>
    <message>
        <source>Cannot fetch it: %1</source>
        <translation>Abruf nicht möglich: %1</translation>
    </message>
    <message>
        <source>The page has no player parameters.</source>
        <translation>Die Seite hat keine Player-Parameter.</translation>
    </message>
    <message>
        <source>The page offers no video of a known quality.</source>
        <translation>Die Seite bietet kein Video in bekannter Qualität.</translation>
    </message>
    <message>
        <source>Downloaded on %1</source>
        <translation>Heruntergeladen am %1</translation>
    </message>
    <message>
        <source>Downloads cannot go to %1: %2</source>
        <translation>Downloads können nicht nach %1: %2</translation>
    </message>
    <message>
        <source>Downloads once its page has come</source>
        <translation>Wird heruntergeladen, sobald die Seite da ist</translation>
    </message>
    <message>
        <source>In the downloads list</source>
        <translation>In der Download-Liste</translation>
    </message>
</context>
<context>
    <name>veltrin::MainWindow</name>
    <message>
        <source>%1 is being downloaded already.</source>
        <translation>%1 wird bereits heruntergeladen.</translation>
    </message>
    <message>
        <source>You copied links to Clipvane videos: </source>
        <translation>Sie haben Links zu Clipvane-Videos kopiert: </translation>
    </message>
    <message numerus="yes">
        <source>Do you want to download these %n videos?</source>
        <translation>
            <numerusform>Möchten Sie dieses %n Video herunterladen?</numerusform>
            <numerusform>Möchten Sie diese %n Videos herunterladen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Download links</source>
        <translation>Download-Links</translation>
    </message>
    <message>
        <source>The video&apos;s download links, or why there are none</source>
        <translation>Die Download-Links des Videos, oder warum es keine gibt</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Shows the download links of the video in the link box</source>
        <translation>Zeigt die Download-Links des Videos im Linkfeld</translation>
    </message>
    <message>
        <source>Veltrin %1 - links straight to the video</source>
        <translation>Veltrin %1 - Links direkt zum Video</translation>
    </message>
    <message>
        <source>Download Clipvane Free: direct links to every quality of a video</source>
        <translation>Download Clipvane Free: direkte Links zu jeder Qualität eines Videos</translation>
    </message>
    <message>
        <source>Clipvane Link:</source>
        <translation>Clipvane-Link:</translation>
    </message>
    <message>
        <source>Show Veltrin</source>
        <translation>Veltrin zeigen</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Ask before downloading</source>
        <translation>Vor dem Herunterladen fragen</translation>
    </message>
    <message>
        <source>Download automatically</source>
        <translation>Automatisch herunterladen</translation>
    </message>
    <message>
        <source>Don&apos;t watch the clipboard</source>
        <translation>Zwischenablage nicht beobachten</translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>The HTTP request object cannot be created.</source>
        <translation>Das HTTP-Anfrageobjekt kann nicht erstellt werden.</translation>
    </message>
    <message>
        <source>Stopped: %1 was not fetched.</source>
        <translation>Angehalten: %1 wurde nicht abgerufen.</translation>
    </message>
    <message>
        <source>Cannot fetch %1: %2</source>
        <translation>%1 kann nicht abgerufen werden: %2</translation>
    </message>
    <message>
        <source>only http and https links can be fetched</source>
        <translation>es können nur http- und https-Links abgerufen werden</translation>
    </message>
    <message>
        <source>The page at %1 has no player parameters.</source>
        <translation>Die Seite %1 hat keine Player-Parameter.</translation>
    </message>
    <message>
        <source>The program folder could not be written either: %1 (%2).</source>
        <translation>Auch in den Programmordner konnte nicht geschrieben werden: %1 (%2).</translation>
    </message>
    <message>
        <source>The results file cannot be written to %1.</source>
        <translation>Die Ergebnisdatei kann nicht in %1 geschrieben werden.</translation>
    </message>
    <message>
        <source>The results file %1 cannot be written.</source>
        <translation>Die Ergebnisdatei %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Nothing downloaded</source>
        <translation>Nichts heruntergeladen</translation>
    </message>
    <message>
        <source>The page at %1 offers no video of a known quality.</source>
        <translation>Die Seite %1 bietet kein Video in einer bekannten Qualität.</translation>
    </message>
    <message>
        <source>Downloads cannot go to %1: %2</source>
        <translation>In %1 können keine Downloads gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <translation>%1 wird heruntergeladen</translation>
    </message>
    <message>
        <source>into %1</source>
        <translation>nach %1</translation>
    </message>
    <message numerus="yes">
        <source>(%n more characters)</source>
        <translation>
            <numerusform>(%n weiteres Zeichen)</numerusform>
            <numerusform>(%n weitere Zeichen)</numerusform>
        </translation>
    </message>
    <message>
        <source>You copied this link to a Clipvane video: </source>
        <translation>Sie haben diesen Link zu einem Clipvane-Video kopiert: </translation>
    </message>
    <message>
        <source>Do you want to download this video?</source>
        <translation>Möchten Sie dieses Video herunterladen?</translation>
    </message>
    <message>
        <source>Save the video as</source>
        <translation>Video speichern unter</translation>
    </message>
    <message>
        <source>Download finished</source>
        <translation>Download abgeschlossen</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>Download fehlgeschlagen</translation>
    </message>
    <message numerus="yes">
        <source>%n download is still running. Quit now? It goes on where it stopped the next time Veltrin starts.</source>
        <translation>
            <numerusform>%n Download läuft noch. Jetzt beenden? Er wird beim nächsten Start von Veltrin dort fortgesetzt, wo er angehalten wurde.</numerusform>
            <numerusform>%n Downloads laufen noch. Jetzt beenden? Sie werden beim nächsten Start von Veltrin dort fortgesetzt, wo sie angehalten wurden.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n downloads are still running. Quit now? They go on where they stopped the next time Veltrin starts.</source>
        <translation>
            <numerusform>%n Download läuft noch. Jetzt beenden? Er wird beim nächsten Start von Veltrin dort fortgesetzt, wo er angehalten wurde.</numerusform>
            <numerusform>%n Downloads laufen noch. Jetzt beenden? Sie werden beim nächsten Start von Veltrin dort fortgesetzt, wo sie angehalten wurden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download again</source>
        <translation>Erneut herunterladen</translation>
    </message>
    <message>
        <source>Video (%1)</source>
        <translation>Video (%1)</translation>
    </message>
    <message>
        <source>Sound only, as it is (*.%1)</source>
        <translation>Nur der Ton, wie er ist (*.%1)</translation>
    </message>
    <message>
        <source>Sound only, MP3 (*.mp3)</source>
        <translation>Nur der Ton, MP3 (*.mp3)</translation>
    </message>
    <message>
        <source>%1 was downloaded on %2 to %3.</source>
        <translation>%1 wurde am %2 nach %3 heruntergeladen.</translation>
    </message>
    <message>
        <source>Download it again?</source>
        <translation>Erneut herunterladen?</translation>
    </message>
    <message>
        <source>The password of %1 at the proxy %2 (no secret store runs to keep it: it is kept until Veltrin ends):</source>
        <translation>Das Passwort von %1 beim Proxy %2 (kein Schlüsselbund läuft, der es aufbewahrt: es bleibt, bis Veltrin endet):</translation>
    </message>
    <message>
        <source>No secret store is running on this desktop: the proxy&apos;s password is kept only until Veltrin ends, and asked for at its next start.</source>
        <translation>Auf diesem Desktop läuft kein Schlüsselbund: Das Passwort des Proxys bleibt nur, bis Veltrin endet, und wird beim nächsten Start erfragt.</translation>
    </message>
</context>
<context>
    <name>veltrin::PreferencesDialog</name>
    <message>
        <source>Start Veltrin when I log in</source>
        <translation>Veltrin beim Anmelden starten</translation>
    </message>
    <message>
        <source>Veltrin Preferences</source>
        <translation>Veltrin-Einstellungen</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Auswählen…</translation>
    </message>
    <message>
        <source>Chooses the download folder in a dialog</source>
        <translation>Wählt den Download-Ordner in einem Dialog aus</translation>
    </message>
    <message>
        <source>The best on the page</source>
        <translation>Die beste auf der Seite</translation>
    </message>
    <message>
        <source>Ask before downloading</source>
        <translation>Vor dem Herunterladen fragen</translation>
    </message>
    <message>
        <source>Download automatically</source>
        <translation>Automatisch herunterladen</translation>
    </message>
    <message>
        <source>Don&apos;t watch the clipboard</source>
        <translation>Zwischenablage nicht beobachten</translation>
    </message>
    <message>
        <source>Download folder:</source>
        <translation>Download-Ordner:</translation>
    </message>
    <message>
        <source>Preferred quality:</source>
        <translation>Bevorzugte Qualität:</translation>
    </message>
    <message>
        <source>Copied links:</source>
        <translation>Kopierte Links:</translation>
    </message>
    <message>
        <source>Downloads at once:</source>
        <translation>Gleichzeitige Downloads:</translation>
    </message>
    <message>
        <source>Download folder</source>
        <translation>Download-Ordner</translation>
    </message>
    <message>
        <source>The download folder must be a full path, such as %1.</source>
        <translation>Der Download-Ordner muss ein vollständiger Pfad sein, etwa %1.</translation>
    </message>
    <message>
        <source>Downloads cannot go to that folder: %1</source>
        <translation>In diesem Ordner können keine Downloads gespeichert werden: %1</translation>
    </message>
    <message>
        <source>the video</source>
        <translation>das Video</translation>
    </message>
    <message>
        <source>the sound only</source>
        <translation>nur den Ton</translation>
    </message>
    <message>
        <source>the sound as MP3</source>
        <translation>den Ton als MP3</translation>
    </message>
    <message>
        <source>What downloading automatically keeps</source>
        <translation>Was das automatische Herunterladen behält</translation>
    </message>
    <message>
        <source>Keep:</source>
        <translation>Behalten:</translation>
    </message>
    <message>
        <source>Limit downloads to</source>
        <translation>Downloads begrenzen auf</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>Direkt</translation>
    </message>
    <message>
        <source>Use the system&apos;s proxy settings</source>
        <translation>Proxy-Einstellungen des Systems verwenden</translation>
    </message>
    <message>
        <source>Use this proxy:</source>
        <translation>Diesen Proxy verwenden:</translation>
    </message>
    <message>
        <source> MB/s</source>
        <translation> MB/s</translation>
    </message>
    <message>
        <source>Speed limit</source>
        <translation>Geschwindigkeitsgrenze</translation>
    </message>
    <message>
        <source>Proxy kind</source>
        <translation>Art des Proxys</translation>
    </message>
    <message>
        <source>host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Proxy host</source>
        <translation>Host des Proxys</translation>
    </message>
    <message>
        <source>Proxy port</source>
        <translation>Port des Proxys</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>Benutzer:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Connections for each download:</source>
        <translation>Verbindungen je Download:</translation>
    </message>
    <message>
        <source>The proxy needs a host: a name such as proxy.example.org, or an address.</source>
        <translation>Der Proxy braucht einen Host: einen Namen wie proxy.example.org oder eine Adresse.</translation>
    </message>
</context>
<context>
    <name>veltrin::WebBrowser</name>
    <message>
        <source>The results cannot be shown: the web view does not run as the root user unless QTWEBENGINE_DISABLE_SANDBOX=1 is set.</source>
        <translation>Die Ergebnisse können nicht angezeigt werden: Die Webansicht läuft nicht als Benutzer root, außer wenn QTWEBENGINE_DISABLE_SANDBOX=1 gesetzt ist.</translation>
    </message>
    <message>
        <source>The results cannot be shown: the web view module cannot be loaded.</source>
        <translation>Die Ergebnisse können nicht angezeigt werden: Das Modul der Webansicht kann nicht geladen werden.</translation>
    </message>
</context>
</TS>
