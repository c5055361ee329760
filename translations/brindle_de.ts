<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
</context>
</TS>
