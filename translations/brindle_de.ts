<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>PressNotice</name>
    <message>
        <source>%1 MB</source>
        <extracomment>A size in megabytes (1024 × 1024 bytes), as the window&apos;s captions write &quot;MB&quot;.</extracomment>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>Not downloaded: the address is not http:// and more</source>
        <translation>Nicht heruntergeladen: Die Adresse ist nicht http:// und mehr</translation>
    </message>
    <message>
        <source>Not downloaded: the working folder has no name (was it deleted?)</source>
        <translation>Nicht heruntergeladen: Der Arbeitsordner hat keinen Namen (wurde er gelöscht?)</translation>
    </message>
    <message>
        <source>Not downloaded: the wget on PATH is Wget2; Brindle needs GNU Wget 1.x</source>
        <translation>Nicht heruntergeladen: Das wget im PATH ist Wget2; Brindle braucht GNU Wget 1.x</translation>
    </message>
    <message>
        <source>Not downloaded: the size request failed</source>
        <translation>Nicht heruntergeladen: Die Größenabfrage ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>Not downloaded: the server gave no size</source>
        <translation>Nicht heruntergeladen: Der Server hat keine Größe genannt</translation>
    </message>
    <message>
        <source>Not downloaded: another Brindle or program is writing the file</source>
        <translation>Nicht heruntergeladen: Ein anderes Brindle oder Programm schreibt die Datei</translation>
    </message>
    <message>
        <source>Not downloaded: the file cannot be opened or locked, or is no regular file</source>
        <translation>Nicht heruntergeladen: Die Datei kann nicht geöffnet oder gesperrt werden oder ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>Not downloaded: the server could not tell whether the file holds its bytes</source>
        <translation>Nicht heruntergeladen: Der Server konnte nicht sagen, ob die Datei seine Bytes enthält</translation>
    </message>
    <message>
        <source>Not downloaded: the file does not hold the server&apos;s bytes and could not be moved</source>
        <translation>Nicht heruntergeladen: Die Datei enthält nicht die Bytes des Servers und konnte nicht verschoben werden</translation>
    </message>
    <message>
        <source>Not downloaded: no new file could be locked under the name</source>
        <translation>Nicht heruntergeladen: Unter dem Namen konnte keine neue Datei gesperrt werden</translation>
    </message>
    <message>
        <source>Not downloaded: wget could not be started</source>
        <translation>Nicht heruntergeladen: wget konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote is not the server&apos;s file and was kept aside</source>
        <translation>Nicht heruntergeladen: Was wget geschrieben hat, ist nicht die Datei des Servers und wurde beiseitegelegt</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget stopped at %1 of %2; Download continues it</source>
        <translation>Nicht vollständig heruntergeladen: wget hielt bei %1 von %2 an; Herunterladen setzt fort</translation>
    </message>
    <message>
        <source>Downloaded, %1</source>
        <translation>Heruntergeladen, %1</translation>
    </message>
    <message>
        <source>Not downloaded: wget wrote nothing</source>
        <translation>Nicht heruntergeladen: wget hat nichts geschrieben</translation>
    </message>
    <message>
        <source>Not downloaded: wget failed</source>
        <translation>Nicht heruntergeladen: wget ist gescheitert</translation>
    </message>
    <message>
        <source>Not downloaded whole: wget failed at %1 of %2</source>
        <translation>Nicht vollständig heruntergeladen: wget ist bei %1 von %2 gescheitert</translation>
    </message>
    <message>
        <source>Not downloaded: what wget wrote does not match the server&apos;s digest and was kept aside</source>
        <translation>Nicht heruntergeladen: Was wget schrieb, passt nicht zur Prüfsumme des Servers und wurde beiseitegelegt</translation>
    </message>
    <message>
        <source>Downloaded and checked against the server&apos;s digest, %1</source>
        <translation>Heruntergeladen und mit der Prüfsumme des Servers geprüft, %1</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <extracomment>Why the computer does not sleep: the desktop may show it, with the file&apos;s name.</extracomment>
        <translation>%1 wird heruntergeladen</translation>
    </message>
</context>
<context>
    <name>app::MainWindow</name>
    <message>
        <source>File URL</source>
        <extracomment>Brindle&apos;s window: each text must fit its place. To add a language, copy this catalogue to translations/brindle_&lt;language&gt;.ts and translate it; README.md, &quot;Languages&quot;, names the two other files and the line it takes in translations/LINGUAS.</extracomment>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Total (MB)</source>
        <translation>Größe (MB)</translation>
    </message>
    <message>
        <source>Current (MB)</source>
        <translation>Aktuell (MB)</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download-Fortschritt</translation>
    </message>
    <message>
        <source>No browser could be started for %1: %2</source>
        <translation>Für %1 konnte kein Browser gestartet werden: %2</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausieren</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Ordner öffnen</translation>
    </message>
</context>
</TS>
